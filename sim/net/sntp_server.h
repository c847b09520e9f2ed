// A simulated SNTP server on loopback: answers each client request (mode 3)
// with a server reply (mode 4) whose receive and transmit timestamps are its
// own clock, a whole number of seconds that the test sets. A tamper hook
// rewrites replies before they go, for tests of replies a client must
// refuse; a silent server counts requests and answers none.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "sim/net/udp_peer.h"

namespace sim {

class sntp_server {
 public:
  sntp_server();

  uint16_t port() const { return m_peer.port(); }
  // The server's clock, seconds since 1970.
  void set_time(uint32_t unix_seconds) { m_time.store(unix_seconds); }
  void set_silent(bool silent) { m_silent.store(silent); }
  void set_tamper(std::function<void(std::string& reply)> tamper);
  uint32_t requests() const { return m_peer.received(); }
  bool wait_requests(uint32_t n) const { return m_peer.wait_received(n); }
  // The last request as it came.
  std::string last_request();

 private:
  std::string answer(const std::string& request);

  std::atomic<uint32_t> m_time{0};
  std::atomic<bool> m_silent{false};
  uint32_t m_replies = 0;  // the peer's thread only
  std::mutex m_mutex;
  std::function<void(std::string&)> m_tamper;
  std::string m_last;
  udp_peer m_peer;  // last: its thread starts when everything above is ready
};

}  // namespace sim
