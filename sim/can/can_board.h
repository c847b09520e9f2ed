// A simulated utility board on a CAN wire (sensor, I/O or power board): it
// answers the frames addressed to it with its address plus 128, as the
// boards of the field do.
//
//   identify  02 01 01 00 00 00 00 00 -> 42 01 01 00 00 rev-hi rev-lo 00
//   read      00 01 01 00 00 00 00 00 -> the reading set with set_reading
//
// Other commands go to the on_command hook, which may answer them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "can_models.h"

namespace sim {

class can_board : public board::can_wire::node {
 public:
  // The bus rate of the controller board's own CAN bus.
  static constexpr uint32_t DEFAULT_RATE = 100000;

  // Attaches itself to the wire; rate 0 runs at any rate (an EPLD channel).
  can_board(board::can_wire& wire, uint32_t address, uint16_t firmware = 0x0102, uint32_t rate = DEFAULT_RATE);
  ~can_board() override;
  can_board(const can_board&) = delete;
  can_board& operator=(const can_board&) = delete;

  bool acknowledges(uint32_t rate) override;
  void on_frame(const board::can_frame& frame, uint32_t rate) override;

  uint32_t address() const { return m_address; }
  // A silent board acknowledges frames (it is on the bus) but answers none.
  void set_silent(bool on) { m_silent = on; }
  // Data bytes 1-7 of the answer to a read (byte 0 is 0x40).
  void set_reading(const std::vector<uint8_t>& bytes);
  // Any other frame addressed to the board: return true and fill the answer
  // to send one.
  std::function<bool(const board::can_frame& in, board::can_frame* answer)> on_command;

  // ---- observation
  uint32_t identifies() const { return m_identifies.load(); }
  uint32_t frames_for_me() const { return m_frames.load(); }
  std::vector<board::can_frame> received();

 private:
  void answer(const board::can_frame& reply);

  board::can_wire& m_wire;
  const uint32_t m_address;
  const uint16_t m_firmware;
  const uint32_t m_rate;
  std::atomic<bool> m_silent{false};
  std::atomic<uint32_t> m_identifies{0}, m_frames{0};
  std::mutex m_lock;
  std::vector<uint8_t> m_reading = std::vector<uint8_t>(7, 0);
  std::vector<board::can_frame> m_received;
};

}  // namespace sim
