// The front panel's view of the sign: a display driver that keeps a 1-bit
// bitmap of the sign's size for the panel's LCD. The display task embeds
// one as its panel mirror. Drawing on the LCD goes through a hook the
// panel installs (display does not link the panel); without it ShowFrame
// draws nothing.
#pragma once

#include <cstdint>

#include "display/driver/display_driver.h"

namespace disp {
class frame;
}
class CPeripheral;

class CLCDDisplayDriver : public display_driver {
 public:
  CLCDDisplayDriver() = default;
  ~CLCDDisplayDriver() override { FreeBitmap(); }

  uint32_t GetMaxFrameRate() override { return 1; }
  void SetBrightness(int32_t level) override { m_byBrightness = static_cast<uint8_t>(level); }
  uint8_t GetBrightness() override { return m_byBrightness; }
  // A new size frees the old bitmap and allocates a zeroed one of height
  // rows of (width + 7) / 8 bytes. Always 1.
  int32_t Configure(int32_t height, int32_t width, int32_t moduleType) override;
  int32_t WriteFrame(CSurface*) override { return 0; }

  // The layout ShowFrame uses (the panel's frame-view mode, 1 or 2).
  void SetMode(uint8_t mode) { m_byMode = mode; }
  uint8_t Mode() const { return m_byMode; }
  // Draws the frame on the panel's LCD through the panel's hook; 0.
  int32_t ShowFrame(disp::frame* frame);
  // The surface (depth 1, 2 or 8; any other depth by its first byte) into
  // the bitmap: a pixel is set when its value is not 0.
  static void RenderFrame(CLCDDisplayDriver* driver, CSurface* surface);
  void FreeBitmap();

  const uint8_t* Bitmap() const { return m_pBitmap; }
  uint32_t BitmapRowBytes() const { return m_dwRowBytes; }
  bool BitmapPixel(uint32_t x, uint32_t y) const;

  // Installed by the front panel: draws the frame with the driver's bitmap
  // and mode on the LCD.
  typedef void (*show_hook)(CLCDDisplayDriver* driver, disp::frame* frame);
  static void SetShowHook(show_hook hook) { s_show = hook; }
  // Installed by the front panel: its manager (null while none) and its frame-view mode (0 off).
  typedef CPeripheral* (*panel_hook)(uint8_t* view_mode);
  static void SetPanelHook(panel_hook hook) { s_panel = hook; }
  static CPeripheral* FrontPanel(uint8_t* view_mode);

 private:
  uint8_t* m_pBitmap = nullptr;
  uint32_t m_dwRowBytes = 0;
  uint32_t m_dwRows = 0;
  uint8_t m_byBrightness = 0;
  uint8_t m_byMode = 0;
  static show_hook s_show;
  static panel_hook s_panel;
};
