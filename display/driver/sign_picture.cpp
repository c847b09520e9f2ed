#include "display/driver/sign_picture.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "display/driver/png_writer.h"
#include "frame/trace/trace.h"

namespace {

constexpr sign_rgb_s kAmber = {255, 180, 0};
constexpr sign_rgb_s kRed = {255, 40, 0};
constexpr sign_rgb_s kGreen = {0, 220, 60};

uint8_t expand5(uint32_t v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }

}  // namespace

sign_rgb_s sign_pixel_colour(uint16_t value, bool wide, uint8_t colours) {
  if (!value) return SIGN_DARK;
  switch (colours) {
    case 2: {
      const bool red = wide ? (value & 0x1F) != 0 : (value & 1) != 0;
      const bool green = wide ? ((value >> 5) & 0x1F) != 0 : (value & 2) != 0;
      if (red && green) return kAmber;
      if (red) return kRed;
      if (green) return kGreen;
      return SIGN_DARK;  // what these modules cannot show stays dark
    }
    case 3:
      if (!wide) return {static_cast<uint8_t>(value), static_cast<uint8_t>(value), static_cast<uint8_t>(value)};
      return {expand5(value & 0x1F), expand5((value >> 5) & 0x1F), expand5((value >> 10) & 0x1F)};
    default: return kAmber;
  }
}

std::vector<uint8_t> CSignPicture::Picture(const sign_face_s& face) {
  std::vector<uint8_t> png;
  if (!face.pixels || !face.width || !face.height) return png;
  const uint64_t w = static_cast<uint64_t>(face.width) * DOT, h = static_cast<uint64_t>(face.height) * DOT;
  if (w > 0xFFFF || h > 0xFFFF) return png;
  std::vector<uint8_t> rgb(w * h * 3, 0);
  for (uint32_t y = 0; y < face.height; ++y)
    for (uint32_t x = 0; x < face.width; ++x) {
      const sign_rgb_s c = sign_pixel_colour(face.pixels[static_cast<size_t>(y) * face.width + x], face.wide,
                                             face.colours);
      for (uint32_t dy = 0; dy + 1 < DOT; ++dy)
        for (uint32_t dx = 0; dx + 1 < DOT; ++dx) {
          uint8_t* p = &rgb[((static_cast<size_t>(y) * DOT + dy) * w + static_cast<size_t>(x) * DOT + dx) * 3];
          p[0] = c.r;
          p[1] = c.g;
          p[2] = c.b;
        }
    }
  png_encode_rgb(rgb.data(), static_cast<uint32_t>(w), static_cast<uint32_t>(h), png);
  return png;
}

CSignPicture::CSignPicture() = default;

CSignPicture::~CSignPicture() {
  {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_bStop = true;
  }
  m_wake.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

void CSignPicture::SetFile(const std::string& path) {
  std::lock_guard<std::mutex> lk(m_mutex);
  m_path = path;
  ++m_qwGeneration;
  m_bPending = false;
  m_failed.clear();
  m_bTaken = false;
  m_last = face_copy();
  // Started here, not in the first display step that offers a face.
  if (!path.empty() && !m_thread.joinable()) m_thread = std::thread([this] { Work(); });
  m_idle.notify_all();
}

std::string CSignPicture::File() const {
  std::lock_guard<std::mutex> lk(m_mutex);
  return m_path;
}

bool CSignPicture::Offer(const sign_face_s& face, uint32_t tick) {
  if (!face.pixels) return false;
  std::string failed;
  {
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_path.empty()) return false;
    failed.swap(m_failed);
  }
  if (!failed.empty()) {
    // Taken again once the interval has passed, and said at most as often.
    monitor_printf("CSignPicture::Save: cannot write %s\n", failed.c_str());
    m_last = face_copy();
  }
  const size_t n = static_cast<size_t>(face.width) * face.height;
  const sign_face_s& last = m_last.face;
  const bool same = m_bTaken && face.width == last.width && face.height == last.height && face.wide == last.wide &&
                    face.colours == last.colours && m_last.pixels.size() == n &&
                    std::equal(m_last.pixels.begin(), m_last.pixels.end(), face.pixels);
  if (same) return false;
  if (m_bTaken && tick - m_dwLastTick < m_dwMinTicks) return false;
  m_bTaken = true;
  m_dwLastTick = tick;
  m_last.face = face;
  m_last.face.pixels = nullptr;
  m_last.pixels.assign(face.pixels, face.pixels + n);
  {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_pending = m_last;
    m_bPending = true;
  }
  m_wake.notify_one();
  return true;
}

void CSignPicture::Flush() {
  std::unique_lock<std::mutex> lk(m_mutex);
  m_idle.wait(lk, [this] { return m_bHeld || m_bStop || (!m_bPending && !m_bBusy); });
}

void CSignPicture::Hold(bool held) {
  {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_bHeld = held;
  }
  m_wake.notify_all();
  m_idle.notify_all();
}

// The writing thread: the newest face taken, encoded and written; its
// failures go back to the offering side, which may print.
void CSignPicture::Work() {
  // Below the controller's own threads: the host runs them first.
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
  std::unique_lock<std::mutex> lk(m_mutex);
  for (;;) {
    m_wake.wait(lk, [this] { return m_bStop || (m_bPending && !m_bHeld); });
    if (m_bStop) return;
    face_copy face = std::move(m_pending);
    m_bPending = false;
    m_bBusy = true;
    const std::string path = m_path;
    const uint64_t generation = m_qwGeneration;
    lk.unlock();

    face.face.pixels = face.pixels.data();
    const std::vector<uint8_t> png = Picture(face.face);
    std::string error = path;
    const bool saved = !png.empty() && png_save(path, png, &error);
    if (saved) ++m_dwPictures;

    lk.lock();
    if (!saved && generation == m_qwGeneration) m_failed = error;
    m_bBusy = false;
    if (!m_bPending) m_idle.notify_all();
  }
}
