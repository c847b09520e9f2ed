// A display driver without hardware: it keeps the last frame the display
// task sent and, when the frame changed, has the face written as the sign's
// picture. The display task starts with it; start-up
// gives the task the sign's own driver (CQ5DisplayDriver), whose frames the
// board's display hardware shows as the picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "display/driver/display_driver.h"
#include "display/driver/sign_picture.h"

class CFrameKeepingDriver : public display_driver {
 public:
  // Pixels of the picture per sign pixel (a dot and a dark gap).
  static constexpr uint32_t DOT = CSignPicture::DOT;

  CFrameKeepingDriver();
  ~CFrameKeepingDriver() override = default;

  // As fast as the board's sign driver.
  uint32_t GetMaxFrameRate() override { return 10; }
  // 0 is taken as 1: brightness never switches the sign off.
  void SetBrightness(int32_t level) override;
  uint8_t GetBrightness() override { return m_byBrightness; }
  // Stores the geometry and forgets the kept frame; 1.
  int32_t Configure(int32_t height, int32_t width, int32_t moduleType) override;
  // Keeps the surface's pixels; 1, or 0 without an allocated surface.
  int32_t WriteFrame(CSurface* surface) override;

  // Where the picture goes; empty: nowhere. Every changed frame is
  // pictured, by the picture's own thread.
  void SetPictureFile(const std::string& path) { m_picture.SetFile(path); }
  std::string PictureFile() const { return m_picture.File(); }
  // Waits for the pictures of the frames written so far.
  void FlushPicture() { m_picture.Flush(); }

  // The kept frame: surface depth, size and its bytes as stored.
  uint8_t FrameDepth() const { return m_byDepth; }
  uint32_t FrameHeight() const { return m_dwHeight; }
  uint32_t FrameWidth() const { return m_dwWidth; }
  const std::vector<uint8_t>& FrameBytes() const { return m_frame; }
  uint32_t FramesWritten() const { return m_dwFrames; }
  uint32_t PicturesWritten() const { return m_picture.PicturesWritten(); }

 private:

  uint8_t m_byBrightness = 1;
  uint8_t m_byDepth = 0;
  uint32_t m_dwHeight = 0;
  uint32_t m_dwWidth = 0;
  std::vector<uint8_t> m_frame;
  uint32_t m_dwFrames = 0;
  std::vector<uint16_t> m_facePixels;
  CSignPicture m_picture;
};

// The sign driver of the running controller.
extern CFrameKeepingDriver g_frame_keeping_driver;
