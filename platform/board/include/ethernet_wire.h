// The far end of the Ethernet wire in wire mode: a user-mode IPv4 network
// (Debian's libslirp) on the controller's subnet, restricted so that nothing
// the controller sends leaves it, with forwards from 127.0.0.1 ports to the
// controller's ports. Frames the EMAC sends reach it; its frames reach the
// EMAC's receiver, padded to the shortest Ethernet frame as a wire's
// transmitter pads them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "emac_models.h"

namespace board {

struct wire_forward {
  bool udp = true;
  uint16_t host_port = 0;   // on 127.0.0.1
  uint16_t guest_port = 0;  // the controller's port
};

struct wire_config {
  // The controller's subnet: its address and mask; the far end takes the
  // gateway's address (or the subnet's first when the gateway lies outside)
  // and hands the controller's address to a DHCP request.
  uint32_t address = 0;
  uint32_t mask = 0xFFFFFF00;
  uint32_t gateway = 0;
  std::vector<wire_forward> forwards;
};

// What the far end takes from the controller: ARP, answers from one of the
// forwarded ports to the far end, and DHCP (UDP 68 to 67). Nothing the
// controller starts itself leaves the wire.
bool wire_crosses(const uint8_t* frame, size_t length, uint32_t far, const std::vector<uint16_t>& answering);

class ethernet_wire {
 public:
  explicit ethernet_wire(emac_model& mac);
  ~ethernet_wire();
  ethernet_wire(const ethernet_wire&) = delete;
  ethernet_wire& operator=(const ethernet_wire&) = delete;

  // Starts the far end; false with the reason (no libslirp in this build,
  // a host port in use, ...).
  bool start(const wire_config& config, std::string* error);
  void stop();
  // The far end's own address on the wire.
  uint32_t far_address() const;

  struct impl;

 private:
  std::unique_ptr<impl> m;
};

}  // namespace board
