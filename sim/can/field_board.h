// A scriptable field board of the sensor bus: a temperature, humidity,
// light or fan-speed sensor, or a DC I/O board. It answers from its address
// plus 128:
//
//   identify  02 01 01 .. -> 42 01 01 00 00 rev-hi rev-lo 00
//   read      00 01 01 .. -> 40 then the sensor's reading bytes 1..7, or for
//                            an I/O board 40 01 01 and the levels of ports
//                            3..7 (inputs, with the outputs echoed)
//   outputs   01 01 01 o3..o7 -> the outputs taken, then as a read
//   configure 03 01 01 ..  -> 43 01 01 00 .. (logged)
//   dimming   07 01 01 L .. -> as a read
//
// Tests script it: readings and input levels, silence, and malformed
// answers (a wrong length or identifier, a wrong reply code).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "can_models.h"

namespace sim {

class field_board : public board::can_wire::node {
 public:
  static constexpr uint32_t DEFAULT_RATE = 100000;

  field_board(board::can_wire& wire, uint32_t address, uint16_t firmware = 0x0005, bool io = false,
              uint32_t rate = DEFAULT_RATE);
  ~field_board() override;
  field_board(const field_board&) = delete;
  field_board& operator=(const field_board&) = delete;

  bool acknowledges(uint32_t rate) override;
  void on_frame(const board::can_frame& frame, uint32_t rate) override;

  uint32_t address() const { return m_address; }
  void set_silent(bool on) { m_silent = on; }
  void set_firmware(uint16_t firmware) { m_firmware = firmware; }
  // Bytes 1..7 of a sensor's answer to a read.
  void set_reading(const std::vector<uint8_t>& bytes);
  // A sensor reading of one signed byte (byte 3) or a big-endian word at
  // bytes 3..4 and 5..6.
  void set_byte(int8_t value) { set_reading({0x01, 0x01, static_cast<uint8_t>(value)}); }
  void set_words(uint16_t first, uint16_t second) {
    set_reading({0x01, 0x01, static_cast<uint8_t>(first >> 8), static_cast<uint8_t>(first),
                 static_cast<uint8_t>(second >> 8), static_cast<uint8_t>(second)});
  }
  // An I/O board's input level of point 24..63.
  void set_input(uint32_t point, bool on);
  // Whether configuration frames are acknowledged.
  void set_acknowledge(bool on) { m_ack = on; }
  // Malformed answers: every answer with this length (8 = well formed) and
  // from this identifier offset (128 = well formed).
  void set_reply_length(uint8_t dlc) { m_dlc = dlc; }
  void set_reply_offset(uint32_t offset) { m_offset = offset; }
  // An AC I/O board: every frame it is sent carries AC_MARKER in data byte
  // 5, which is then no output port.
  static constexpr uint8_t AC_MARKER = 0x20;
  void set_ac(bool on) { m_ac = on; }
  // Frames of an AC board without the marker.
  uint32_t unmarked() const { return m_unmarked.load(); }
  // Answers reads with this code in place of 0x40 (0: 0x40).
  void set_read_code(uint8_t code) { m_readCode = code; }

  // ---- observation
  std::vector<board::can_frame> received();
  // Command bytes of the frames received, in order.
  std::vector<uint8_t> commands();
  uint8_t output_port(uint32_t port) const { return port < 8 ? m_outputs[port].load() : 0; }
  uint8_t input_port(uint32_t port) const { return port < 8 ? m_inputs[port].load() : 0; }
  bool is_io() const { return m_io; }
  bool output(uint32_t point) const { return point < 64 && (output_port(point / 8) >> (point % 8) & 1); }
  uint32_t frames_for_me() const { return m_frames.load(); }
  void clear();

 private:
  void answer(uint8_t code, const uint8_t* rest7);

  board::can_wire& m_wire;
  const uint32_t m_address;
  std::atomic<uint16_t> m_firmware;
  const bool m_io;
  const uint32_t m_rate;
  std::atomic<bool> m_silent{false}, m_ack{true}, m_ac{false};
  std::atomic<uint32_t> m_unmarked{0};
  std::atomic<uint8_t> m_dlc{8}, m_readCode{0};
  std::atomic<uint32_t> m_offset{128}, m_frames{0};
  std::atomic<uint8_t> m_inputs[8] = {}, m_outputs[8] = {};
  std::mutex m_lock;
  std::vector<uint8_t> m_reading = std::vector<uint8_t>(7, 0);
  std::vector<board::can_frame> m_received;
};

}  // namespace sim
