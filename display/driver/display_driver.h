// The output device the display task puts finished frames on: the sign's
// driver or the front panel's mirror of it. The task renders a message into
// a pixel surface and hands the surface to the driver it is using; the
// driver turns it into whatever its hardware needs. All operations run in
// the display task's thread (the front panel's preview calls its own
// driver); the interface holds no lock.
#pragma once

#include <cstdint>

class CSurface;

class display_driver {
 public:
  display_driver() = default;
  virtual ~display_driver() = default;
  display_driver(const display_driver&) = delete;
  display_driver& operator=(const display_driver&) = delete;

  virtual void SetDiagnosticsEnabled(uint8_t on) { m_byDiagnosticsEnabled = on; }
  virtual uint32_t GetMaxFrameRate() { return 120; }
  virtual void SetBrightness(int32_t level) = 0;
  virtual uint8_t GetBrightness() = 0;
  virtual const char* GetName() { return "DEFAULT"; }
  // Stores the geometry unchecked; 0 means "not set up" to the caller, and
  // the base never sets anything up.
  virtual int32_t Configure(int32_t height, int32_t width, int32_t moduleType) {
    m_nHeight = height;
    m_nWidth = width;
    m_nModuleType = moduleType;
    return 0;
  }
  virtual int32_t WriteFrame(CSurface* surface) = 0;
  // Waits delayTicks after each display line in the sign's driver.
  virtual void PixelTest(uint32_t delayTicks) {}
  // Resets a display line, or every line (-1); a driver without lines has
  // nothing to reset.
  virtual void ResetLines(int32_t line) {}
  virtual int32_t GetHeight() { return m_nHeight; }
  virtual int32_t GetWidth() { return m_nWidth; }
  virtual display_driver* Self() { return this; }

  // The sign driver's active byte follows the power supply (letters 1, 2).
  uint8_t m_byActive = 1;
  // Set by the display task just before it configures the sign driver.
  uint8_t m_byConfiguring = 0;
  int32_t m_nHeight = 0;
  int32_t m_nWidth = 0;
  int32_t m_nModuleType = 0;
  uint8_t m_byDiagnosticsEnabled = 0;
};
