// A utility board as auto-detection finds it: besides everything a
// can_board answers, it answers the identify query sent to its family's
// base address (its own address with the low four bits clear), from its
// own address plus 128, so that one query finds every board of a family.
#pragma once

#include <atomic>
#include <cstdint>

#include "sim/can/can_board.h"

namespace sim {

class utility_board : public can_board {
 public:
  utility_board(board::can_wire& wire, uint32_t address, uint16_t firmware = 0x0102,
                uint32_t rate = DEFAULT_RATE);

  void on_frame(const board::can_frame& frame, uint32_t rate) override;
  // A silent board answers nothing, detection queries included.
  void set_silent(bool on) {
    m_quiet = on;
    can_board::set_silent(on);
  }

  uint32_t base() const { return address() & ~0xFu; }
  // Identify queries to the base address answered so far.
  uint32_t detections() const { return m_detections.load(); }

 private:
  board::can_wire& m_bus;
  const uint16_t m_version;
  const uint32_t m_speed;
  std::atomic<uint32_t> m_detections{0};
  std::atomic<bool> m_quiet{false};
};

}  // namespace sim
