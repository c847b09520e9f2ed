// The link driver of the main IP instance while the instance carries its
// traffic on the host's sockets: it answers the stack's requests with the
// link's state and addresses, and sends no frames of its own.
#pragma once

#include <cstdint>

#include "nx_api.h"

// Driver states.
enum : uint16_t {
  ETHERNET_DRIVER_CREATED = 1,
  ETHERNET_DRIVER_INITIALISED = 5,
  ETHERNET_DRIVER_ENABLED = 6,
};

VOID ethernet_host_driver(NX_IP_DRIVER* request);
// The interface's MAC address (from the boot monitor's ETHERADD).
void ethernet_host_set_mac(const uint8_t mac[6]);
uint16_t ethernet_host_driver_state();
// Back to the state before the first request (tests).
void ethernet_host_driver_reset();
