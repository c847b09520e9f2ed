#include "sim/pmpp/pmpp_central.h"

namespace sim::pmpp {

namespace {

void stuff(std::string& out, uint8_t b) {
  if (b == 0x7E || b == 0x7D) {
    out += '\x7D';
    out += static_cast<char>(b ^ 0x20);
  } else {
    out += static_cast<char>(b);
  }
}

bool parse(const std::string& raw, frame* f) {
  std::string plain;
  for (size_t k = 0; k < raw.size(); ++k) {
    if (raw[k] == '\x7D') {
      if (k + 1 >= raw.size()) return false;
      plain += static_cast<char>(raw[++k] ^ 0x20);
    } else {
      plain += raw[k];
    }
  }
  f->raw = raw;
  if (plain.size() < 4) return false;
  f->fcs_ok = Fcs16(plain) == 0xF0B8;
  plain.resize(plain.size() - 2);
  const uint8_t a0 = static_cast<uint8_t>(plain[0]);
  size_t at = 1;
  f->group = (a0 >> 1) & 1;
  f->address = a0 >> 2;
  if (!(a0 & 1)) {
    if (plain.size() < 3) return false;
    const uint8_t a1 = static_cast<uint8_t>(plain[1]);
    f->address |= (a1 >> 1) << 6;
    at = 2;
  }
  if (at >= plain.size()) return false;
  f->control = static_cast<uint8_t>(plain[at]);
  f->info = plain.substr(at + 1);
  return true;
}

}  // namespace

std::string AddressField(unsigned address, bool group) {
  const unsigned g = group ? 2 : 0;
  std::string out;
  if (address < 64) {
    out += static_cast<char>(((address & 0x3F) << 2) | g | 1);
  } else {
    out += static_cast<char>(((address & 0x3F) << 2) | g);
    out += static_cast<char>(((address >> 6) << 1) | 1);
  }
  return out;
}

uint16_t Fcs16(const std::string& bytes) {
  uint16_t fcs = 0xFFFF;
  for (unsigned char b : bytes) {
    fcs ^= b;
    for (int i = 0; i < 8; ++i) fcs = (fcs & 1) ? static_cast<uint16_t>((fcs >> 1) ^ 0x8408) : fcs >> 1;
  }
  return fcs;
}

std::string Frame(unsigned address, bool group, uint8_t control, const std::string& info) {
  std::string content = AddressField(address, group) + static_cast<char>(control) + info;
  const uint16_t fcs = static_cast<uint16_t>(~Fcs16(content));
  content += static_cast<char>(fcs & 0xFF);
  content += static_cast<char>(fcs >> 8);
  std::string out = "\x7E";
  for (unsigned char b : content) stuff(out, b);
  return out + "\x7E";
}

std::string SnmpFrame(unsigned address, bool group, const std::string& message) {
  return Frame(address, group, kUi, std::string(1, static_cast<char>(kSnmp)) + message);
}

std::string PollFrame(unsigned address) {
  return Frame(address, false, kPoll, std::string(1, static_cast<char>(kPollByte)));
}

std::vector<frame> decoder::feed(const std::string& bytes) {
  std::vector<frame> out;
  for (char c : bytes) {
    if (c != '\x7E') {
      if (m_open) m_raw += c;
      continue;
    }
    if (m_open && !m_raw.empty()) {
      frame f;
      if (parse(m_raw, &f)) out.push_back(f);
    }
    m_open = true;
    m_raw.clear();
  }
  return out;
}

}  // namespace sim::pmpp
