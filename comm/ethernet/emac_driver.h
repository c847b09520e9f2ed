// The network driver of the main IP instance on the board's Ethernet: it
// builds and strips the 14-byte Ethernet header and hands frames to the MAC
// layer (emac.h). Its initialise request asks the IP stack to carry the
// instance's datagrams on the link, so frames really cross the wire.
#pragma once

#include <cstdint>

#include "nx_api.h"
#include "tx_api.h"

enum : uint16_t {
  EMAC_DRIVER_CREATED = 1,
  EMAC_DRIVER_NO_PHY = 2,
  EMAC_DRIVER_NO_POOL = 3,
  EMAC_DRIVER_HARDWARE_FAILED = 4,
  EMAC_DRIVER_INITIALISED = 5,
  EMAC_DRIVER_ENABLED = 6,
};

VOID emac_driver_entry(NX_IP_DRIVER* request);

// The driver's state, shared with the MAC layer.
struct emac_driver_state {
  bool created = false;
  TX_SEMAPHORE protect{};  // "ENET rec protect"
  NX_IP* ip = nullptr;
  NX_PACKET* queue = nullptr;  // frames waiting for the transmit descriptor
  uint16_t state = 0;
  NX_PACKET_POOL* pool = nullptr;
  uint8_t phy_absent = 0;
};
emac_driver_state& emac_driver();
uint16_t emac_driver_state_get();
// Forgets everything (tests, and a new start of the program).
void emac_driver_reset();
// The board's Ethernet as the main instance's link: the buffer area, the
// six interrupt services and the communication task's Ethernet services.
void emac_install(uint32_t buffer_area);
