// The sign's face as a picture a person can read: every pixel a dot, lit
// pixels in the colour the modules give them, scaled up and written as a
// PNG file in the state folder when the face changes. The controller on a
// host feeds it the pixels its display hardware decoded from the frames
// the sign driver sent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct sign_face_s {
  uint32_t width = 0, height = 0;
  // Pixel values are 16-bit colour words (red bits 0-4, green 5-9, blue
  // 10-14), else bytes.
  bool wide = false;
  // The modules: 1 monochrome (amber), 2 red-green, 3 full colour.
  uint8_t colours = 1;
  const uint16_t* pixels = nullptr;  // row-major, width * height
};

struct sign_rgb_s {
  uint8_t r, g, b;
  bool operator==(const sign_rgb_s&) const = default;
};

// The colour of a dark pixel's dot, and the gap between dots.
constexpr sign_rgb_s SIGN_DARK = {40, 40, 40};
constexpr sign_rgb_s SIGN_GAP = {0, 0, 0};

// How a pixel value looks on these modules.
sign_rgb_s sign_pixel_colour(uint16_t value, bool wide, uint8_t colours);

class CSignPicture {
 public:
  // Picture pixels per sign pixel: a dot of DOT - 1 and a one-pixel gap.
  static constexpr uint32_t DOT = 6;
  // At most one picture in this many ticks (a few a second).
  static constexpr uint32_t MIN_TICKS = 25;

  // The picture of a face; empty when there is nothing to show.
  static std::vector<uint8_t> Picture(const sign_face_s& face);

  // Where the picture goes (empty: nowhere).
  void SetFile(const std::string& path) { m_path = path; }
  const std::string& File() const { return m_path; }

  // The face the sign shows now, at kernel time `tick`: written when it
  // differs from the last picture and MIN_TICKS have passed since that one;
  // otherwise a later offer writes it. True when a picture was written.
  bool Offer(const sign_face_s& face, uint32_t tick);
  uint32_t PicturesWritten() const { return m_dwPictures; }

 private:
  bool Save(const std::vector<uint8_t>& png);

  std::string m_path;
  bool m_bWritten = false;
  bool m_bTried = false;
  uint32_t m_dwLastTick = 0;
  uint32_t m_dwWidth = 0, m_dwHeight = 0;
  bool m_bWide = false;
  uint8_t m_byColours = 0;
  std::vector<uint16_t> m_pixels;
  uint32_t m_dwPictures = 0;
};
