#include "sim/modules/module_line.h"

#include <algorithm>

#include "board_host.h"

namespace sim {

namespace {

constexpr uint32_t kLineReset = 16;
constexpr uint32_t kLineCommand = 0x21;
constexpr uint32_t kPixelTest = 0x22;
constexpr uint8_t kResultsRequest = 0x15;

uint8_t kind_of(uint8_t kind_byte) { return kind_byte & 0x3F; }

bool between(uint32_t v, uint32_t low, uint32_t high) { return v >= low && v <= high; }

// Module types whose replies have no reply code (measurements as eight
// bytes).
bool old_layout(uint32_t type, uint8_t revision) {
  if (type == 1 || between(type, 11, 17) || between(type, 19, 25) || between(type, 31, 35)) return true;
  return between(type, 50, 54) && revision < 3;
}

bool gen4(uint32_t type) { return type == 90 || type == 114 || type == 125; }

}  // namespace

module_line::module_line() {
  for (unsigned line = 0; line < LINES; ++line) {
    m_nodes.push_back(std::make_unique<line_node>(*this, line));
    board::epld_wire(line + 1).attach(m_nodes.back().get());
  }
  board::can_fifo().on_link_packet = [this](const std::vector<uint8_t>& p) { on_link_packet(p); };
}

module_line::~module_line() {
  if (!board::present()) return;
  board::can_fifo().on_link_packet = nullptr;
  for (unsigned line = 0; line < LINES; ++line) board::epld_wire(line + 1).detach(m_nodes[line].get());
}

std::vector<uint8_t> module_line::frame(uint8_t kind_byte, const std::vector<uint8_t>& data, uint8_t length_byte) {
  std::vector<uint8_t> p = {0x55, 0xAA, kind_byte, length_byte};
  p.insert(p.end(), data.begin(), data.end());
  uint8_t sum = 0;
  for (uint8_t b : p) sum = static_cast<uint8_t>(sum + b);
  p.push_back(static_cast<uint8_t>(0 - sum));
  return p;
}

// ------------------------------------------------------------------ set-up

void module_line::set_two_response_words(bool on) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_two_words = on;
}

void module_line::add_module(unsigned line, unsigned position, const module_setup& setup) {
  if (line >= LINES) return;
  std::lock_guard<std::mutex> lk(m_lock);
  m_modules[line][position].setup = setup;
}

void module_line::add_modules(unsigned line, unsigned count, const module_setup& setup) {
  for (unsigned p = 0; p < count; ++p) add_module(line, p, setup);
}

void module_line::set_module_fault(unsigned line, unsigned position, fault f) {
  if (line >= LINES) return;
  std::lock_guard<std::mutex> lk(m_lock);
  auto it = m_modules[line].find(position);
  if (it != m_modules[line].end()) it->second.setup.behaviour = f;
}

void module_line::add_pixel_report(unsigned line, unsigned position, uint32_t id, const std::vector<uint8_t>& data) {
  if (line >= LINES) return;
  board::can_frame f;
  f.id = id;
  for (size_t i = 0; i < data.size() && i < 8; ++i) f.data[i] = data[i];
  f.dlc = static_cast<uint8_t>(data.size() > 8 ? 8 : data.size());
  std::lock_guard<std::mutex> lk(m_lock);
  m_modules[line][position].reports.push_back(f);
}

void module_line::module_send(unsigned line, uint32_t id, const std::vector<uint8_t>& data) {
  if (line >= LINES) return;
  board::can_frame f;
  f.id = id;
  for (size_t i = 0; i < data.size() && i < 8; ++i) f.data[i] = data[i];
  f.dlc = static_cast<uint8_t>(data.size() > 8 ? 8 : data.size());
  board::epld_wire(line + 1).transmit(m_nodes[line].get(), f, 0);
}

void module_line::set_board(uint8_t code, uint8_t revision, uint8_t sender) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_board_code = code;
  m_board_revision = revision;
  m_board_sender = sender;
}

void module_line::set_board_fault(fault f) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_board_fault = f;
}

void module_line::set_test_done_reply(bool on) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_test_done_reply = on;
}

void module_line::board_send(const std::vector<uint8_t>& bytes) { board::can_fifo().inject(bytes); }

// ------------------------------------------------------------------ observation

uint32_t module_line::configuration_requests() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_configuration_requests;
}

uint32_t module_line::result_requests() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_result_requests;
}

uint8_t module_line::link_divisor() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_link_divisor;
}

uint32_t module_line::other_packets() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_other_packets;
}

std::vector<module_line::request> module_line::requests() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_requests;
}

std::vector<module_line::request> module_line::take_requests() {
  std::lock_guard<std::mutex> lk(m_lock);
  std::vector<request> r;
  r.swap(m_requests);
  return r;
}

// ------------------------------------------------------------------ the lines

bool module_line::line_node::acknowledges(uint32_t) {
  std::lock_guard<std::mutex> lk(m_owner.m_lock);
  return !m_owner.m_modules[m_line].empty();
}

void module_line::line_node::on_frame(const board::can_frame& f, uint32_t) { m_owner.on_line_frame(m_line, f); }

void module_line::latch(unsigned line, unsigned position) {
  if (m_two_words) {
    if (position < 32)
      board::module_responses().latch(2 * line + 1, 1u << position);
    else if (position < 64)
      board::module_responses().latch(2 * line, 1u << (position - 32));
  } else if (position < 32) {
    board::module_responses().latch(line, 1u << position);
  }
}

bool module_line::poll_reply(unsigned position, const module_setup& setup, uint8_t code, board::can_frame& r) const {
  const bool old = old_layout(setup.type, setup.revision);
  uint8_t d[8] = {};
  uint8_t n = 0;
  switch (code) {
    case 2:
      if (old) {
        const uint8_t m[8] = {static_cast<uint8_t>(setup.voltage1 >> 8), static_cast<uint8_t>(setup.voltage1),
                              static_cast<uint8_t>(setup.voltage2 >> 8), static_cast<uint8_t>(setup.voltage2),
                              0, 0, static_cast<uint8_t>(setup.temperature), static_cast<uint8_t>(setup.status - 1)};
        std::copy(m, m + 8, d);
        n = 8;
      } else if (setup.depth == 1) {
        const uint8_t m[6] = {2, static_cast<uint8_t>(setup.voltage1), static_cast<uint8_t>(setup.voltage2), 0,
                              static_cast<uint8_t>(setup.temperature), setup.status};
        std::copy(m, m + 6, d);
        n = 6;
      } else {
        const uint8_t m[8] = {2, static_cast<uint8_t>(setup.voltage1), static_cast<uint8_t>(setup.voltage2), 0, 0, 0,
                              static_cast<uint8_t>(setup.temperature), setup.status};
        std::copy(m, m + 8, d);
        n = 8;
      }
      break;
    case 9:
      d[0] = 9;
      d[1] = static_cast<uint8_t>(setup.type);
      d[2] = setup.revision;
      n = old ? 5 : 8;
      break;
    case 12:
      if (!gen4(setup.type)) return false;
      d[0] = 12;
      d[4] = static_cast<uint8_t>(setup.subtype >> 8);
      d[5] = static_cast<uint8_t>(setup.subtype);
      n = 6;
      break;
    case 18:
      d[0] = 18;
      d[4] = setup.single_input ? 1 : 0;
      n = 5;
      break;
    default:
      return false;
  }
  if (setup.behaviour == fault::wrong) d[0] = 0x07;
  r.id = m_two_words ? 0x700 + position : d[0] == 0 ? 0x500 + position : 0x500 + 8 * position;
  r.id &= 0x7FF;
  r.dlc = n;
  std::copy(d, d + 8, r.data);
  return true;
}

void module_line::on_line_frame(unsigned line, const board::can_frame& f) {
  if (f.extended) return;
  std::vector<board::can_frame> replies;
  {
    std::lock_guard<std::mutex> lk(m_lock);
    m_requests.push_back({line, f.id, std::vector<uint8_t>(f.data, f.data + (f.dlc > 8 ? 8 : f.dlc))});
    const uint32_t base = m_two_words ? 0x700 : 0x500;
    const bool quick = f.id == kPixelTest && f.dlc >= 2 && f.data[1] != 0;
    const bool results = f.id == kLineCommand && f.dlc >= 1 && f.data[0] == kResultsRequest;
    const bool poll = f.id == kLineCommand && f.dlc >= 1 && !results;
    for (auto& [position, m] : m_modules[line]) {
      if (m.setup.behaviour == fault::silent) continue;
      if (f.id == kLineReset) {
        board::can_frame r;
        r.id = (base + position) & 0x7FF;
        r.dlc = 5;
        const uint8_t identity[5] = {0, static_cast<uint8_t>(m.setup.type), m.setup.revision,
                                     static_cast<uint8_t>(m.setup.type >> 8),
                                     static_cast<uint8_t>(m.setup.quick_test ? 1 : 0)};
        for (int i = 0; i < 5; ++i) r.data[i] = identity[i];
        // A wrong module answers the reset with something that is no
        // identity.
        if (m.setup.behaviour == fault::wrong) r.data[0] = 0x07;
        replies.push_back(r);
        latch(line, position);
      } else if ((f.id == kPixelTest && !quick) || results) {
        latch(line, position);
        if (m.setup.behaviour == fault::none)
          replies.insert(replies.end(), m.reports.begin(), m.reports.end());
      } else if (f.id == kPixelTest) {
        latch(line, position);
      } else if (poll) {
        board::can_frame r;
        if (poll_reply(position, m.setup, f.data[0], r)) {
          replies.push_back(r);
          latch(line, position);
        }
      }
    }
  }
  board::can_wire& wire = board::epld_wire(line + 1);
  for (const board::can_frame& r : replies) wire.transmit(m_nodes[line].get(), r, 0);
}

// ------------------------------------------------------------------ the board

std::vector<uint8_t> module_line::finish(std::vector<uint8_t> bytes) {
  if (m_board_fault == fault::bad_checksum && !bytes.empty()) bytes.back() = static_cast<uint8_t>(bytes.back() + 1);
  return bytes;
}

void module_line::on_link_packet(const std::vector<uint8_t>& p) {
  if (p.size() < 5) return;
  std::vector<uint8_t> answer;
  {
    std::lock_guard<std::mutex> lk(m_lock);
    const uint8_t kind_byte = p[2];
    if (kind_byte == '2' || kind_byte == '3') return;
    const uint8_t kind = kind_of(kind_byte);
    const bool silent = m_board_fault == fault::silent;
    if (kind == 5) {
      ++m_configuration_requests;
      if (!silent) {
        // A wrong board names sender 3, which no controller accepts.
        const uint8_t sender = m_board_fault == fault::wrong ? 3 : m_board_sender + 1;
        answer = finish(frame(static_cast<uint8_t>(sender << 6 | 5), {0, m_board_revision, m_board_code}, 3));
      }
    } else if (kind == 30) {
      ++m_result_requests;
      if (!silent && m_test_done_reply) answer = finish(frame(30, {0, 0, 0}, 3));
    } else if (kind == 40 && p[3] == 1 && p.size() >= 6) {
      m_link_divisor = p[4];
    } else {
      ++m_other_packets;
    }
  }
  if (!answer.empty()) board_send(answer);
}

}  // namespace sim
