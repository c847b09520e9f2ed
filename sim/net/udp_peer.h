// A host UDP socket on 127.0.0.1 with a thread that answers each datagram
// through a handler; the base of the simulated network servers.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace sim {

class udp_peer {
 public:
  // The handler gets each datagram and returns the answer ("" = none).
  using handler = std::function<std::string(const std::string& datagram)>;

  explicit udp_peer(handler h);
  ~udp_peer();
  udp_peer(const udp_peer&) = delete;
  udp_peer& operator=(const udp_peer&) = delete;

  // The host port it listens on (ephemeral); 0 when the socket failed.
  uint16_t port() const { return m_port; }
  // Datagrams received so far.
  uint32_t received() const { return m_received.load(); }
  // Waits (bounded, 20 s) until `n` datagrams have come.
  bool wait_received(uint32_t n) const;

 private:
  void run();

  handler m_handler;
  int m_fd = -1;
  int m_wake[2] = {-1, -1};
  uint16_t m_port = 0;
  std::atomic<uint32_t> m_received{0};
  std::thread m_thread;
};

}  // namespace sim
