// DHCP at the network start: the client is started on the main instance
// when the Ethernet mode asks for it, and every bound lease is written to the
// boot monitor's environment ("IPADD", "NETMASK", "GIPADD"), so that a later
// start without DHCP keeps the last leased address, and applied to the
// interface settings and the MIB-II objects.
#pragma once

#include <cstdint>

#include "comm/dhcp/nx_dhcp.h"

// Link checks before the client is created, and the wait of each; the wait
// for the first lease.
constexpr uint32_t DHCP_LINK_CHECKS = 14;
constexpr ULONG DHCP_LINK_WAIT = 100;
constexpr ULONG DHCP_ADDRESS_WAIT = 100000;

// The controller's one client.
extern NX_DHCP g_dhcp_client;

// 1 when the instance got an address, 0 otherwise (the client is gone then).
int dhcp_initialize(NX_IP* ip, NX_DHCP* dhcp);
// The client's state-change callback.
void dhcp_state_changed(NX_DHCP* dhcp, UCHAR new_state);

// Installs the start, renewal and restart into the communication task's
// services.
void dhcp_install_services();
