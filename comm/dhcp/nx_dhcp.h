// The IP stack's DHCP client add-on, as the system's code calls it. On this
// host it runs over the stack's UDP sockets: it broadcasts to
// 255.255.255.255:67 from port 68, which the host configuration maps to a
// DHCP server on loopback (a `peer 255.255.255.255:67 127.0.0.1:<port>`
// line). A bound lease sets the instance's address, mask and gateway.
#pragma once

#include <cstdint>

#include "nx_api.h"
#include "tx_api.h"

// Client states; the state-change callback receives them.
#define NX_DHCP_STATE_NOT_STARTED 1u
#define NX_DHCP_STATE_INIT 2u
#define NX_DHCP_STATE_SELECTING 3u
#define NX_DHCP_STATE_REQUESTING 4u
#define NX_DHCP_STATE_BOUND 5u
#define NX_DHCP_STATE_RENEWING 6u

#define NX_DHCP_ALREADY_STARTED 0x93u
#define NX_DHCP_NOT_STARTED 0x94u
#define NX_DHCP_NOT_BOUND 0x95u

constexpr uint32_t NX_DHCP_STACK_SIZE = 4096;
constexpr UINT NX_DHCP_PRIORITY = 1;

struct NX_DHCP {
  const CHAR* nx_dhcp_name;
  NX_IP* nx_dhcp_ip_ptr;
  UINT nx_dhcp_state;
  ULONG nx_dhcp_xid;
  ULONG nx_dhcp_ip_address;  // offered, then leased
  ULONG nx_dhcp_network_mask;
  ULONG nx_dhcp_gateway_address;
  ULONG nx_dhcp_server_ip;
  ULONG nx_dhcp_lease_time;  // seconds
  ULONG nx_dhcp_discovers_sent;
  ULONG nx_dhcp_requests_sent;
  ULONG nx_dhcp_messages_refused;  // malformed, or not for this client
  VOID (*nx_dhcp_state_change_callback)(NX_DHCP* dhcp, UCHAR new_state);
  // Requests to the client's thread.
  UINT nx_dhcp_stop_request;
  UINT nx_dhcp_renew_request;
  UINT nx_dhcp_created;
  TX_EVENT_FLAGS_GROUP nx_dhcp_events;
  NX_UDP_SOCKET nx_dhcp_socket;
  TX_THREAD nx_dhcp_thread;
  UCHAR nx_dhcp_stack[NX_DHCP_STACK_SIZE];
};

UINT nx_dhcp_create(NX_DHCP* dhcp, NX_IP* ip, const CHAR* name);
UINT nx_dhcp_delete(NX_DHCP* dhcp);  // stops it first
UINT nx_dhcp_state_change_notify(NX_DHCP* dhcp, VOID (*callback)(NX_DHCP*, UCHAR));
UINT nx_dhcp_start(NX_DHCP* dhcp);
// Gives up the lease's use (the instance's address goes to 0.0.0.0).
UINT nx_dhcp_stop(NX_DHCP* dhcp);
// Renews at once; NX_DHCP_NOT_BOUND when there is no lease to renew.
UINT nx_dhcp_force_renew(NX_DHCP* dhcp);
