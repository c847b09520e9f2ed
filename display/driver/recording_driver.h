// A display driver that records what it is asked to do, for tests of the
// display task and of whatever drives a display: every frame (a copy of the
// surface), every geometry, brightness and diagnostics switch. Its answers
// to Configure and GetMaxFrameRate are set by the test.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "display/driver/display_driver.h"

class recording_display_driver : public display_driver {
 public:
  struct frame_s {
    uint8_t depth;
    uint32_t height, width;
    std::vector<uint8_t> bytes;  // the surface's store as it was
    // Rows of '.' (0) and '#' (anything else).
    std::vector<std::string> Rows() const;
    bool Lit() const;
  };
  struct geometry_s {
    int32_t height, width, module_type;
  };

  uint32_t GetMaxFrameRate() override { return max_frame_rate; }
  void SetBrightness(int32_t level) override {
    brightness = static_cast<uint8_t>(level);
    brightness_calls.push_back(level);
  }
  uint8_t GetBrightness() override { return brightness; }
  void SetDiagnosticsEnabled(uint8_t on) override {
    display_driver::SetDiagnosticsEnabled(on);
    diagnostics_calls.push_back(on);
  }
  int32_t Configure(int32_t height, int32_t width, int32_t moduleType) override {
    display_driver::Configure(height, width, moduleType);
    configures.push_back({height, width, moduleType});
    return configure_result;
  }
  // Copies the surface; 1 (0 without a surface). Runs on_write afterwards.
  int32_t WriteFrame(CSurface* surface) override;
  void PixelTest(uint32_t delayTicks) override { pixel_tests.push_back(delayTicks); }
  void ResetLines(int32_t line) override { line_resets.push_back(line); }
  // Forgets what was recorded.
  void Clear() {
    frames.clear();
    configures.clear();
    brightness_calls.clear();
    diagnostics_calls.clear();
    pixel_tests.clear();
    line_resets.clear();
  }

  int32_t configure_result = 1;
  uint32_t max_frame_rate = 120;
  uint8_t brightness = 0;
  std::function<void()> on_write;

  std::vector<frame_s> frames;
  std::vector<geometry_s> configures;
  std::vector<int32_t> brightness_calls;
  std::vector<uint8_t> diagnostics_calls;
  std::vector<uint32_t> pixel_tests;
  std::vector<int32_t> line_resets;
};
