#include "sim/ups/ups_unit.h"

#include <cstdio>

#include "board_host.h"

namespace sim {

namespace {
constexpr char kCR = '\r';
}

void ups_unit::set_mode(mode m) {
  std::lock_guard<std::mutex> g(m_lock);
  m_mode = m;
}
ups_unit::mode ups_unit::current_mode() const {
  std::lock_guard<std::mutex> g(m_lock);
  return m_mode;
}
void ups_unit::set_overload(bool on) {
  std::lock_guard<std::mutex> g(m_lock);
  m_overload = on;
}
void ups_unit::set_bad_battery(bool on) {
  std::lock_guard<std::mutex> g(m_lock);
  m_bad_battery = on;
}
void ups_unit::set_line_volts(uint8_t volts) {
  std::lock_guard<std::mutex> g(m_lock);
  m_line_volts = volts;
}
void ups_unit::set_battery_volts(uint8_t volts) {
  std::lock_guard<std::mutex> g(m_lock);
  m_battery_volts = volts;
}

void ups_unit::receive(const uint8_t* data, size_t n) {
  std::lock_guard<std::mutex> g(m_lock);
  for (size_t i = 0; i < n; ++i) byte_in(data[i]);
}

std::string ups_unit::take_output() {
  std::lock_guard<std::mutex> g(m_lock);
  std::string out;
  out.swap(m_output);
  return out;
}

bool ups_unit::has_output() const {
  std::lock_guard<std::mutex> g(m_lock);
  return !m_output.empty();
}

size_t ups_unit::queries() const {
  std::lock_guard<std::mutex> g(m_lock);
  return m_queries;
}

size_t ups_unit::stray_bytes() const {
  std::lock_guard<std::mutex> g(m_lock);
  return m_stray;
}

void ups_unit::byte_in(uint8_t b) {
  switch (m_dialect) {
    case dialect::status_byte:
      if (b == 0x01) {
        ++m_queries;
        answer_status_byte();
      } else {
        ++m_stray;
      }
      return;
    case dialect::colon_command:
      if (b == ':' ) {
        m_stray += m_input.size();
        m_input.assign(1, ':');
        return;
      }
      if (m_input.empty()) {
        ++m_stray;
        return;
      }
      m_input.push_back(static_cast<char>(b));
      if (m_input.size() == 4) {
        const uint8_t letter = static_cast<uint8_t>(m_input[1]);
        const uint8_t check = static_cast<uint8_t>(m_input[2]);
        if (m_input[3] == kCR && check == static_cast<uint8_t>(~letter) && (letter == 'S' || letter == 'D')) {
          ++m_queries;
          answer_colon(letter);
        } else {
          m_stray += m_input.size();
        }
        m_input.clear();
      }
      return;
    case dialect::q1_line:
      m_input.push_back(static_cast<char>(b));
      if (b != kCR) {
        if (m_input.size() > 16) {
          m_stray += m_input.size();
          m_input.clear();
        }
        return;
      }
      if (m_input.size() >= 3 && m_input.compare(m_input.size() - 3, 3, "Q1\r") == 0) {
        m_stray += m_input.size() - 3;
        ++m_queries;
        answer_q1();
      } else {
        m_stray += m_input.size();
      }
      m_input.clear();
      return;
  }
}

void ups_unit::answer_status_byte() {
  if (m_mode == mode::silent) return;
  if (m_mode == mode::garbage) {
    // Cut short: the status bytes never come.
    m_output.append("\x55\x01\x03\x07\x09", 5);
    return;
  }
  std::string reply(11, '\0');
  reply[0] = static_cast<char>(0xAA);
  reply[1] = static_cast<char>(m_line_volts);
  reply[2] = static_cast<char>(m_battery_volts);
  uint8_t flags = 0;
  if (on_battery()) flags |= 0x01;
  if (m_mode == mode::low_battery) flags |= 0x02;
  if (m_overload) flags |= 0x20;
  reply[9] = static_cast<char>(flags);
  reply[10] = static_cast<char>(m_bad_battery ? 0x02 : 0x00);
  m_output += reply;
}

void ups_unit::answer_colon(uint8_t letter) {
  if (m_mode == mode::silent) return;
  if (m_mode == mode::garbage) {
    m_output += "XYZZY";
    return;
  }
  std::string reply;
  reply.push_back(static_cast<char>(letter));
  if (letter == 'D') {
    reply.push_back('0');
    reply.push_back(static_cast<char>(m_line_volts));
    reply.push_back('0');
    reply.push_back(static_cast<char>(m_battery_volts));
  } else {
    reply.append("000");
    reply.push_back(static_cast<char>(on_battery() ? 1 : 0));
  }
  reply.push_back(kCR);
  m_output += reply;
}

void ups_unit::answer_q1() {
  if (m_mode == mode::silent) return;
  if (m_mode == mode::garbage) {
    m_output += "(208.4 140.0\r";
    return;
  }
  char fields[64];
  std::snprintf(fields, sizeof fields, "(%05.1f 140.0 %05.1f 034 59.9 %04.2f 35.0 ", static_cast<double>(m_line_volts),
                static_cast<double>(m_line_volts), m_battery_volts / 10.0);
  std::string reply = fields;
  reply.push_back(on_battery() ? '1' : '0');
  reply.push_back(m_mode == mode::low_battery ? '1' : '0');
  reply.push_back('0');
  reply.push_back(m_bad_battery ? '1' : '0');
  reply.append("0000");
  reply.push_back(kCR);
  m_output += reply;
}

}  // namespace sim
