// A simulated UPS at the far end of the AUX serial port. It answers the
// queries of three dialects (a one-byte status poll, a colon command with a
// check byte, and a "Q1" fixed-field status line) from a script the test
// sets: mains, battery, low battery, silent (no answer at all) or garbage
// (answers of the wrong length and format). Overload, bad battery and the
// voltages can be set on top.
//
// Either transport works: ups_port is an in-memory serial driver whose far
// end is the unit (unit tests); attach()/pump() put the unit on a board
// serial line's pipe end (the whole controller).
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "sim/serial/serial_device.h"

namespace board {
class serial_line;
}

namespace sim {

class ups_unit : public serial_device {
 public:
  enum class dialect { status_byte, colon_command, q1_line };
  enum class mode { mains, battery, low_battery, silent, garbage };

  explicit ups_unit(dialect d) : m_dialect(d) {}

  void set_mode(mode m);
  mode current_mode() const;
  void set_overload(bool on);
  void set_bad_battery(bool on);
  void set_line_volts(uint8_t volts);
  void set_battery_volts(uint8_t volts);

  // ---- controller to unit
  using serial_device::receive;
  void receive(const uint8_t* data, size_t n) override;
  // ---- unit to controller
  std::string take_output() override;
  bool has_output() const;

  // Queries recognised, and bytes that belonged to none.
  size_t queries() const;
  size_t stray_bytes() const;

  // ---- a board serial line as the transport
  // Moves what the controller sent into the unit and its answers back; the
  // number of bytes taken from the line.

 private:
  void byte_in(uint8_t b);
  void answer_status_byte();
  void answer_colon(uint8_t letter);
  void answer_q1();
  bool on_battery() const { return m_mode == mode::battery || m_mode == mode::low_battery; }

  mutable std::mutex m_lock;
  dialect m_dialect;
  mode m_mode = mode::mains;
  bool m_overload = false;
  bool m_bad_battery = false;
  uint8_t m_line_volts = 120;
  uint8_t m_battery_volts = 27;
  std::string m_input;
  std::string m_output;
  size_t m_queries = 0;
  size_t m_stray = 0;
};

using ups_port = serial_device_port;

}  // namespace sim
