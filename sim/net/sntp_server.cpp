#include "sim/net/sntp_server.h"

namespace sim {

namespace {

constexpr uint32_t kUnixOffset = 2208988800u;

void put32(std::string& s, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) s[at + k] = static_cast<char>(v >> (24 - 8 * k));
}

}  // namespace

sntp_server::sntp_server() : m_peer([this](const std::string& r) { return answer(r); }) {}

void sntp_server::set_tamper(std::function<void(std::string&)> tamper) {
  std::lock_guard<std::mutex> lk(m_mutex);
  m_tamper = std::move(tamper);
}

std::string sntp_server::last_request() {
  std::lock_guard<std::mutex> lk(m_mutex);
  return m_last;
}

std::string sntp_server::answer(const std::string& request) {
  std::function<void(std::string&)> tamper;
  {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_last = request;
    tamper = m_tamper;
  }
  if (m_silent.load() || request.size() < 48 || (request[0] & 0x07) != 3) return "";
  std::string reply(48, '\0');
  const uint8_t version = (static_cast<uint8_t>(request[0]) >> 3) & 0x07;
  reply[0] = static_cast<char>((version << 3) | 4);
  reply[1] = 1;                      // stratum: a primary reference
  reply[2] = request[2];
  reply[3] = static_cast<char>(-20);  // precision about a microsecond
  reply.replace(12, 4, "SIM", 4);
  const uint32_t now = m_time.load() + kUnixOffset;
  put32(reply, 16, now);
  reply.replace(24, 8, request, 40, 8);  // originate: the client's transmit time
  put32(reply, 32, now);
  put32(reply, 40, now);
  // Fractions that differ from reply to reply, as a running clock's would.
  const uint32_t tick = ++m_replies;
  put32(reply, 36, tick);
  put32(reply, 44, tick);
  if (tamper) tamper(reply);
  return reply;
}

}  // namespace sim
