// A simulated DHCP server on loopback: offers one lease to every discover and
// acknowledges every request (or refuses it, when told to). The controller
// reaches it through a host mapping of 255.255.255.255:67 to its port. A
// tamper hook rewrites each answer before it goes, for tests of messages the
// client must refuse.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "sim/net/udp_peer.h"

namespace sim {

struct dhcp_lease {
  uint32_t address = 0xC0A80A32;    // 192.168.10.50
  uint32_t mask = 0xFFFFFF00;       // 255.255.255.0
  uint32_t router = 0xC0A80A01;     // 192.168.10.1; 0: no router option
  uint32_t lease_seconds = 3600;
  uint32_t server_id = 0xC0A80A02;  // 192.168.10.2
};

class dhcp_server {
 public:
  explicit dhcp_server(const dhcp_lease& lease = dhcp_lease());

  uint16_t port() const { return m_peer.port(); }
  void set_silent(bool silent) { m_silent.store(silent); }
  void set_refuse_requests(bool refuse) { m_refuse.store(refuse); }
  // Gets each answer and its message type (2 offer, 5 ack, 6 nak).
  void set_tamper(std::function<void(std::string& answer, uint8_t type)> tamper);
  uint32_t discovers() const { return m_discovers.load(); }
  uint32_t requests() const { return m_requests.load(); }
  uint32_t received() const { return m_peer.received(); }
  bool wait_received(uint32_t n) const { return m_peer.wait_received(n); }

 private:
  std::string answer(const std::string& message);

  dhcp_lease m_lease;
  std::atomic<bool> m_silent{false};
  std::atomic<bool> m_refuse{false};
  std::atomic<uint32_t> m_discovers{0};
  std::atomic<uint32_t> m_requests{0};
  std::mutex m_mutex;
  std::function<void(std::string&, uint8_t)> m_tamper;
  udp_peer m_peer;  // last: its thread starts when everything above is ready
};

}  // namespace sim
