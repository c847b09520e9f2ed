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

#include "frame/serial/serial_driver.h"

namespace board {
class serial_line;
}

namespace sim {

class ups_unit {
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
  void receive(const uint8_t* data, size_t n);
  void receive(const std::string& bytes) {
    receive(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  // ---- unit to controller
  std::string take_output();
  bool has_output() const;

  // Queries recognised, and bytes that belonged to none.
  size_t queries() const;
  size_t stray_bytes() const;

  // ---- a board serial line as the transport
  void attach(board::serial_line* line) { m_serial = line; }
  // Moves what the controller sent into the unit and its answers back; the
  // number of bytes taken from the line.
  size_t pump();

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
  board::serial_line* m_serial = nullptr;
};

// An in-memory serial port whose far end is a ups_unit.
class ups_port : public CSerialDriver {
 public:
  explicit ups_port(ups_unit& unit) : m_unit(unit) {}
  uint32_t PutTxByte(uint8_t byte) override;
  uint32_t ReadByte(uint32_t* out) override;
  uint32_t Open(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { return 1; }
  uint32_t SetBaudRate(uint32_t) override { return 1; }
  std::string take_sent();

 private:
  ups_unit& m_unit;
  std::string m_pending;
  std::string m_sent;
};

}  // namespace sim
