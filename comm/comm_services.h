// What the communication task drives of the parts of comm built apart: the
// Ethernet MAC and PHY, DHCP, SNTP, the web server, file transfer, the
// cellular modem task and the front panel's LCD and LED. Each part installs
// its members; a null member is a service that is not there, and its step
// is skipped.
#pragma once

#include <cstdint>

#include "nx_api.h"
#include "tx_api.h"

struct comm_services {
  // --- Ethernet MAC and PHY.
  // Link mode before the IP instance starts: speed code (100 auto, 101 100
  // Mb/s, 102 10 Mb/s), duplex code (100 auto, 10 half, 20 full), force flag.
  void (*set_link_mode)(uint32_t speed, uint32_t duplex, uint32_t force_10_half);
  void (*set_mac_address)(const uint8_t mac[6]);
  // Polls the PHY's link; link_up reports the flag it keeps. Without them
  // the link is the IP instance's.
  void (*link_monitor)();
  int (*link_up)();
  // 1 while the PHY does not answer.
  int (*phy_absent)();
  // Ethernet interrupts counted by the external-interrupt dispatcher, and
  // whether one was ever counted.
  uint32_t (*interrupt_count)();
  int (*interrupt_seen)();
  // Soft reset of the Ethernet controller; the reset path after a PHY loss.
  void (*reinitialize)();
  void (*ethernet_reset)();
  // The main IP instance's link driver; null: the host-socket driver.
  VOID (*ip_driver)(NX_IP_DRIVER* request);

  // --- Addressing and time.
  void (*dhcp_start)(NX_IP* ip);
  // nx_dhcp_force_renew's status; restart stops and starts the client.
  uint32_t (*dhcp_force_renew)();
  void (*dhcp_restart)();
  // Starts the SNTP client in unicast mode: 1 when it runs.
  int (*sntp_start)(NX_IP* ip, uint32_t server);
  // One step of the SNTP client (its poll and its interval).
  void (*sntp_step)();

  // --- Web server: set up at the network start, stopped on request.
  void (*web_setup)(NX_IP* ip, NX_PACKET_POOL* pool, uint8_t** cursor);
  void (*web_stop)();

  // --- File transfer: the idle time-out of one step, and the commit when
  // the transfer state was written.
  void (*transfer_step)();
  void (*transfer_state_written)();

  // --- The cellular modem task, when the feature asks for it.
  void (*modem_task_create)(TX_BYTE_POOL* pool, NX_IP* ip, NX_PACKET_POOL* packets);

  // --- Front panel: its LCD held while the network starts, and its LEDs
  // (led 5: the Ethernet link, state 1 on, 2 off). present: the panel exists.
  int (*panel_present)();
  void (*panel_lcd_suspend)(int suspend);
  void (*panel_led)(uint32_t led, uint32_t state);

  // --- 1 when the network may start on this platform.
  int (*network_allowed)();
};

// Replaces the whole set; read it first to change one member.
void comm_set_services(const comm_services& services);
const comm_services& comm_get_services();

// The Ethernet link-up flag: the MAC layer's when it keeps one, else the
// main IP instance's (false before the network started).
bool comm_ethernet_link_up();
