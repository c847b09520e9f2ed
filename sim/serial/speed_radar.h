// A speed radar at the far end of a serial line: each vehicle it sees is
// sent as CR, three ASCII digits of the speed, CR. It ignores what the
// controller sends. A steady radar repeats one speed at an interval of
// pump() calls' wall time, as a bench radar pointed at steady traffic does.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "sim/serial/serial_device.h"

namespace sim {

class speed_radar : public serial_device {
 public:
  speed_radar() = default;
  // Reports `speed` (0..999) every `every` of wall time, from the next take.
  speed_radar(unsigned speed, std::chrono::milliseconds every) : m_steady(speed), m_every(every) {}

  void receive(const uint8_t*, size_t) override {}
  std::string take_output() override;

  // One vehicle; speeds above 999 are sent as 999.
  void vehicle(unsigned speed);
  // Bytes that are no report (line noise).
  void noise(const std::string& bytes);
  static std::string report(unsigned speed);

 private:
  std::mutex m_lock;
  std::string m_out;
  unsigned m_steady = 0;
  std::chrono::milliseconds m_every{0};
  std::chrono::steady_clock::time_point m_next{};
};

}  // namespace sim
