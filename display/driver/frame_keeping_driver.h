// A display driver without hardware: it keeps the last frame the display
// task sent and, when the frame changed, writes the face as a PNG picture
// (each pixel a lit or dark dot). The display task starts with it; start-up
// gives the task the sign's own driver (CQ5DisplayDriver), whose frames the
// board's display hardware shows as the picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "display/driver/display_driver.h"

class CFrameKeepingDriver : public display_driver {
 public:
  // Pixels of the picture per sign pixel (a dot and a dark gap).
  static constexpr uint32_t DOT = 4;

  CFrameKeepingDriver() = default;
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

  // Where the picture goes; empty: nowhere.
  void SetPictureFile(const std::string& path) { m_picturePath = path; }
  const std::string& PictureFile() const { return m_picturePath; }

  // The kept frame: surface depth, size and its bytes as stored.
  uint8_t FrameDepth() const { return m_byDepth; }
  uint32_t FrameHeight() const { return m_dwHeight; }
  uint32_t FrameWidth() const { return m_dwWidth; }
  const std::vector<uint8_t>& FrameBytes() const { return m_frame; }
  uint32_t FramesWritten() const { return m_dwFrames; }
  uint32_t PicturesWritten() const { return m_dwPictures; }

  // The kept frame as a PNG picture; empty when there is none.
  std::vector<uint8_t> Picture() const;

 private:
  bool SavePicture();

  uint8_t m_byBrightness = 1;
  uint8_t m_byDepth = 0;
  uint32_t m_dwHeight = 0;
  uint32_t m_dwWidth = 0;
  std::vector<uint8_t> m_frame;
  uint32_t m_dwFrames = 0;
  uint32_t m_dwPictures = 0;
  std::string m_picturePath;
};

// The sign driver of the running controller.
extern CFrameKeepingDriver g_frame_keeping_driver;
