#include "sim/serial/speed_radar.h"

#include <cstdio>

namespace sim {

std::string speed_radar::report(unsigned speed) {
  char text[8];
  std::snprintf(text, sizeof text, "\r%03u\r", speed > 999 ? 999 : speed);
  return text;
}

void speed_radar::vehicle(unsigned speed) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_out += report(speed);
}

void speed_radar::noise(const std::string& bytes) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_out += bytes;
}

std::string speed_radar::take_output() {
  std::lock_guard<std::mutex> lk(m_lock);
  if (m_every.count() > 0) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= m_next) {
      m_out += report(m_steady);
      m_next = now + m_every;
    }
  }
  std::string out;
  out.swap(m_out);
  return out;
}

}  // namespace sim
