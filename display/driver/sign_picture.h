// The sign's face as a picture a person can read: every pixel a dot, lit
// pixels in the colour the modules give them, scaled up and written as a
// PNG file in the state folder when the face changes, by a thread of its
// own. The controller on a host feeds it the pixels its display hardware
// decoded from the frames the sign driver sent.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
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

  CSignPicture();
  ~CSignPicture();
  CSignPicture(const CSignPicture&) = delete;
  CSignPicture& operator=(const CSignPicture&) = delete;

  // The picture of a face; empty when there is nothing to show.
  static std::vector<uint8_t> Picture(const sign_face_s& face);

  // Where the picture goes (empty: nowhere). Forgets the faces offered to
  // the file before.
  void SetFile(const std::string& path);
  std::string File() const;
  // The least ticks between two pictures (MIN_TICKS unless set).
  void SetMinTicks(uint32_t ticks) { m_dwMinTicks = ticks; }

  // The face the sign shows now, at kernel time `tick`: taken (copied) for a
  // picture when it differs from the last one taken and the least ticks
  // have passed since that one; otherwise a later offer takes it. The
  // picture is encoded and written by a host thread of its own: the caller
  // never waits for it, and a face taken while an older one still waits
  // replaces it. True when the face was taken. A write that failed is
  // reported here, in the caller's thread.
  bool Offer(const sign_face_s& face, uint32_t tick);
  // Waits until every face taken has been written or has failed.
  void Flush();
  // While held, taken faces wait (the newest replacing the older).
  void Hold(bool held);
  uint32_t PicturesWritten() const { return m_dwPictures.load(); }

 private:
  // A face with pixels of its own (face.pixels is not used).
  struct face_copy {
    sign_face_s face;
    std::vector<uint16_t> pixels;
  };
  void Work();

  // The caller's side: the last face taken.
  bool m_bTaken = false;
  uint32_t m_dwLastTick = 0;
  uint32_t m_dwMinTicks = MIN_TICKS;
  face_copy m_last;

  // Shared with the writing thread, under m_mutex.
  mutable std::mutex m_mutex;
  std::condition_variable m_wake, m_idle;
  std::string m_path;
  face_copy m_pending;
  bool m_bPending = false, m_bBusy = false, m_bHeld = false, m_bStop = false;
  std::string m_failed;  // the file a write could not write, until reported
  uint64_t m_qwGeneration = 0;  // SetFile calls: a write for an older file is not reported
  std::atomic<uint32_t> m_dwPictures{0};
  std::thread m_thread;
};
