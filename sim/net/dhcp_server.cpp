#include "sim/net/dhcp_server.h"

namespace sim {

namespace {

constexpr size_t kOptions = 240;

void put32(std::string& s, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) s[at + k] = static_cast<char>(v >> (24 - 8 * k));
}

void option32(std::string& s, uint8_t code, uint32_t v) {
  std::string o(6, '\0');
  o[0] = static_cast<char>(code);
  o[1] = 4;
  put32(o, 2, v);
  s += o;
}

// The message type of a client message, 0 when it has none or is cut.
uint8_t type_of(const std::string& m) {
  if (m.size() < kOptions || m[0] != 1) return 0;
  size_t i = kOptions;
  while (i < m.size()) {
    const uint8_t code = static_cast<uint8_t>(m[i]);
    if (code == 0) {
      ++i;
      continue;
    }
    if (code == 255 || i + 1 >= m.size()) return 0;
    const size_t n = static_cast<uint8_t>(m[i + 1]);
    if (i + 2 + n > m.size()) return 0;
    if (code == 53 && n == 1) return static_cast<uint8_t>(m[i + 2]);
    i += 2 + n;
  }
  return 0;
}

}  // namespace

dhcp_server::dhcp_server(const dhcp_lease& lease)
    : m_lease(lease), m_peer([this](const std::string& m) { return answer(m); }) {}

void dhcp_server::set_tamper(std::function<void(std::string&, uint8_t)> tamper) {
  std::lock_guard<std::mutex> lk(m_mutex);
  m_tamper = std::move(tamper);
}

std::string dhcp_server::answer(const std::string& message) {
  const uint8_t type = type_of(message);
  if (type == 1) ++m_discovers;
  if (type == 3) ++m_requests;
  if (m_silent.load() || (type != 1 && type != 3)) return "";
  const uint8_t reply = type == 1 ? 2 : (m_refuse.load() ? 6 : 5);

  std::string a(kOptions, '\0');
  a[0] = 2;  // reply
  a[1] = 1;
  a[2] = 6;
  a.replace(4, 4, message, 4, 4);    // xid
  a.replace(10, 2, message, 10, 2);  // flags
  a.replace(28, 16, message, 28, 16);
  if (reply != 6) put32(a, 16, m_lease.address);
  put32(a, 236, 0x63825363);
  a += std::string("\x35\x01", 2) + static_cast<char>(reply);
  option32(a, 54, m_lease.server_id);
  if (reply != 6) {
    option32(a, 51, m_lease.lease_seconds);
    option32(a, 1, m_lease.mask);
    if (m_lease.router) option32(a, 3, m_lease.router);
  }
  a += '\xFF';
  std::function<void(std::string&, uint8_t)> tamper;
  {
    std::lock_guard<std::mutex> lk(m_mutex);
    tamper = m_tamper;
  }
  if (tamper) tamper(a, reply);
  return a;
}

}  // namespace sim
