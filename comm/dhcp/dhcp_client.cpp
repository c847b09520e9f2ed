// The DHCP client add-on over the stack's UDP sockets: one thread per client
// walks discover, offer, request and acknowledge, retransmitting with a
// doubling wait, and renews at half the lease.
#include <cstdlib>
#include <cstring>

#include "comm/dhcp/dhcp_codec.h"
#include "comm/dhcp/nx_dhcp.h"

namespace {

constexpr ULONG kTicksPerSecond = 100;
constexpr ULONG kFirstWait = 4 * kTicksPerSecond;
constexpr ULONG kLongestWait = 64 * kTicksPerSecond;
constexpr ULONG kRenewRetry = 60 * kTicksPerSecond;
constexpr ULONG kBroadcast = 0xFFFFFFFFu;
constexpr ULONG kStartFlag = 1;
constexpr ULONG kInfiniteLease = 0xFFFFFFFFu;

void set_state(NX_DHCP* d, UINT state) {
  if (d->nx_dhcp_state == state) return;
  d->nx_dhcp_state = state;
  if (d->nx_dhcp_state_change_callback) d->nx_dhcp_state_change_callback(d, static_cast<UCHAR>(state));
}

void hardware_address(NX_DHCP* d, uint8_t mac[6]) {
  const ULONG msw = d->nx_dhcp_ip_ptr->nx_ip_physical_msw;
  const ULONG lsw = d->nx_dhcp_ip_ptr->nx_ip_physical_lsw;
  mac[0] = static_cast<uint8_t>(msw >> 8);
  mac[1] = static_cast<uint8_t>(msw);
  for (int k = 0; k < 4; ++k) mac[2 + k] = static_cast<uint8_t>(lsw >> (24 - 8 * k));
}

void send(NX_DHCP* d, uint8_t type, bool renewing) {
  dhcp_message m{};
  m.op = DHCP_BOOTREQUEST;
  m.xid = static_cast<uint32_t>(d->nx_dhcp_xid);
  m.type = type;
  hardware_address(d, m.chaddr);
  if (type == DHCP_REQUEST) {
    if (renewing) {
      m.ciaddr = static_cast<uint32_t>(d->nx_dhcp_ip_address);
    } else {
      m.has_requested = true;
      m.requested = static_cast<uint32_t>(d->nx_dhcp_ip_address);
      m.has_server_id = true;
      m.server_id = static_cast<uint32_t>(d->nx_dhcp_server_ip);
    }
    ++d->nx_dhcp_requests_sent;
  } else {
    m.flags = 0x8000;  // no address yet: answer by broadcast
    ++d->nx_dhcp_discovers_sent;
  }
  uint8_t bytes[DHCP_MESSAGE_MAX];
  const uint32_t n = dhcp_build(m, bytes, sizeof bytes);
  NX_PACKET* packet = nullptr;
  NX_PACKET_POOL* pool = d->nx_dhcp_ip_ptr->nx_ip_default_pool;
  if (!n || nx_packet_allocate(pool, &packet, NX_UDP_PACKET, NX_NO_WAIT) != NX_SUCCESS) return;
  if (nx_packet_data_append(packet, bytes, n, pool, NX_NO_WAIT) != NX_SUCCESS ||
      nx_udp_socket_send(&d->nx_dhcp_socket, packet, kBroadcast, DHCP_SERVER_PORT) != NX_SUCCESS)
    nx_packet_release(packet);
}

// Waits up to `wait` ticks for a reply of this client of one of the two
// types. 0 on a time-out; -1 when a stop or a renewal was asked for.
int receive(NX_DHCP* d, ULONG wait, uint8_t type_a, uint8_t type_b, dhcp_message* out) {
  const bool forever = wait == TX_WAIT_FOREVER;
  const ULONG end = tx_time_get() + wait;
  for (;;) {
    if (d->nx_dhcp_stop_request) return -1;
    const int32_t left = static_cast<int32_t>(end - tx_time_get());
    if (!forever && left <= 0) return 0;
    NX_PACKET* packet = nullptr;
    const UINT status =
        nx_udp_socket_receive(&d->nx_dhcp_socket, &packet, forever ? TX_WAIT_FOREVER : static_cast<ULONG>(left));
    if (status == NX_WAIT_ABORTED) return -1;
    if (status != NX_SUCCESS || !packet) continue;
    uint8_t bytes[DHCP_MESSAGE_MAX];
    ULONG copied = 0;
    nx_packet_data_copy(packet, 0, bytes, sizeof bytes, &copied);
    ULONG length = 0;
    nx_packet_length_get(packet, &length);
    nx_packet_release(packet);
    dhcp_message m{};
    uint8_t mac[6];
    hardware_address(d, mac);
    // A message longer than any we take is cut, so it is refused rather than
    // read in part.
    if (length > sizeof bytes || dhcp_parse(bytes, static_cast<uint32_t>(copied), &m) != DHCP_PARSE_OK ||
        m.op != DHCP_BOOTREPLY || m.xid != d->nx_dhcp_xid || std::memcmp(m.chaddr, mac, 6) != 0 ||
        (m.type != type_a && m.type != type_b)) {
      ++d->nx_dhcp_messages_refused;
      continue;
    }
    *out = m;
    return 1;
  }
}

void apply_lease(NX_DHCP* d, const dhcp_message& ack) {
  d->nx_dhcp_ip_address = ack.yiaddr;
  if (ack.has_mask) d->nx_dhcp_network_mask = ack.mask;
  d->nx_dhcp_gateway_address = ack.has_router ? ack.router : 0;
  d->nx_dhcp_lease_time = ack.has_lease ? ack.lease : kInfiniteLease;
  NX_IP* ip = d->nx_dhcp_ip_ptr;
  ULONG mask = d->nx_dhcp_network_mask;
  if (!ack.has_mask) {
    ULONG unused = 0;
    nx_ip_address_get(ip, &unused, &mask);
  }
  nx_ip_address_set(ip, d->nx_dhcp_ip_address, mask);
  d->nx_dhcp_network_mask = mask;
  nx_ip_gateway_address_set(ip, d->nx_dhcp_gateway_address);
}

// Ticks until the renewal: half the lease, or never.
ULONG renewal_wait(NX_DHCP* d) {
  const ULONG lease = d->nx_dhcp_lease_time;
  if (lease == kInfiniteLease) return TX_WAIT_FOREVER;
  const unsigned long long ticks = static_cast<unsigned long long>(lease / 2 ? lease / 2 : 1) * kTicksPerSecond;
  return ticks >= TX_WAIT_FOREVER ? TX_WAIT_FOREVER - 1 : static_cast<ULONG>(ticks);
}

// Discover to bound; false when a stop was asked for.
bool acquire(NX_DHCP* d) {
  ULONG wait = kFirstWait;
  for (;;) {
    set_state(d, NX_DHCP_STATE_INIT);
    d->nx_dhcp_xid = static_cast<ULONG>(std::rand());
    send(d, DHCP_DISCOVER, false);
    set_state(d, NX_DHCP_STATE_SELECTING);
    dhcp_message m{};
    int got = receive(d, wait, DHCP_OFFER, DHCP_OFFER, &m);
    if (got < 0 && d->nx_dhcp_stop_request) return false;
    if (got > 0 && m.yiaddr != 0) {
      d->nx_dhcp_ip_address = m.yiaddr;
      d->nx_dhcp_server_ip = m.has_server_id ? m.server_id : m.siaddr;
      set_state(d, NX_DHCP_STATE_REQUESTING);
      send(d, DHCP_REQUEST, false);
      got = receive(d, wait, DHCP_ACK, DHCP_NAK, &m);
      if (got < 0 && d->nx_dhcp_stop_request) return false;
      if (got > 0 && m.type == DHCP_ACK && m.yiaddr != 0) {
        apply_lease(d, m);
        set_state(d, NX_DHCP_STATE_BOUND);
        return true;
      }
    }
    if (wait < kLongestWait) wait *= 2;
  }
}

// Bound until a stop; false when a stop was asked for or the lease is lost.
bool keep(NX_DHCP* d) {
  ULONG wait = renewal_wait(d);
  for (;;) {
    dhcp_message m{};
    // Nothing is expected while bound: what comes is read and dropped.
    if (!d->nx_dhcp_renew_request) {
      const int got = receive(d, wait, 0, 0, &m);
      if (d->nx_dhcp_stop_request) return false;
      if (got < 0 && !d->nx_dhcp_renew_request) continue;
    }
    d->nx_dhcp_renew_request = 0;
    set_state(d, NX_DHCP_STATE_RENEWING);
    d->nx_dhcp_xid = static_cast<ULONG>(std::rand());
    send(d, DHCP_REQUEST, true);
    const int got = receive(d, kFirstWait * 2, DHCP_ACK, DHCP_NAK, &m);
    if (d->nx_dhcp_stop_request) return false;
    if (got > 0 && m.type == DHCP_NAK) {
      nx_ip_address_set(d->nx_dhcp_ip_ptr, 0, d->nx_dhcp_network_mask);
      return false;
    }
    if (got > 0) {
      apply_lease(d, m);
      wait = renewal_wait(d);
    } else {
      wait = kRenewRetry;  // the server did not answer: keep the lease, ask again
    }
    // Every renewal ends in a new bound state, announced.
    set_state(d, NX_DHCP_STATE_BOUND);
  }
}

// The thread's argument (32 bits) cannot hold a pointer on this host: it
// names a slot of this table.
constexpr ULONG kClients = 4;
NX_DHCP* g_clients[kClients] = {};

void client_thread(ULONG input) {
  NX_DHCP* d = g_clients[input];
  for (;;) {
    ULONG actual = 0;
    if (d->nx_dhcp_state == NX_DHCP_STATE_NOT_STARTED || d->nx_dhcp_stop_request) {
      d->nx_dhcp_stop_request = 0;
      d->nx_dhcp_state = NX_DHCP_STATE_NOT_STARTED;
      tx_event_flags_get(&d->nx_dhcp_events, kStartFlag, TX_OR_CLEAR, &actual, TX_WAIT_FOREVER);
      continue;
    }
    if (acquire(d) && keep(d)) continue;
    if (!d->nx_dhcp_stop_request) d->nx_dhcp_state = NX_DHCP_STATE_INIT;  // lease lost: start again
  }
}

// Wakes the client's thread out of its socket wait.
void nudge(NX_DHCP* d) { tx_thread_wait_abort(&d->nx_dhcp_thread); }

}  // namespace

UINT nx_dhcp_create(NX_DHCP* dhcp, NX_IP* ip, const CHAR* name) {
  if (!dhcp || !ip) return NX_PTR_ERROR;
  std::memset(static_cast<void*>(dhcp), 0, sizeof *dhcp);
  dhcp->nx_dhcp_name = name;
  dhcp->nx_dhcp_ip_ptr = ip;
  dhcp->nx_dhcp_state = NX_DHCP_STATE_NOT_STARTED;
  UINT status = nx_udp_socket_create(ip, &dhcp->nx_dhcp_socket, "DHCP Socket", NX_IP_NORMAL, NX_FRAGMENT_OKAY,
                                     NX_IP_TIME_TO_LIVE, 8);
  if (status != NX_SUCCESS) return status;
  if (tx_event_flags_create(&dhcp->nx_dhcp_events, "DHCP events") != TX_SUCCESS) {
    nx_udp_socket_delete(&dhcp->nx_dhcp_socket);
    return NX_NOT_SUCCESSFUL;
  }
  ULONG slot = 0;
  while (slot < kClients && g_clients[slot] && g_clients[slot] != dhcp && g_clients[slot]->nx_dhcp_created) ++slot;
  if (slot == kClients) {
    tx_event_flags_delete(&dhcp->nx_dhcp_events);
    nx_udp_socket_delete(&dhcp->nx_dhcp_socket);
    return NX_NOT_SUCCESSFUL;
  }
  g_clients[slot] = dhcp;
  if (tx_thread_create(&dhcp->nx_dhcp_thread, "DHCP Client", client_thread, slot, dhcp->nx_dhcp_stack,
                       NX_DHCP_STACK_SIZE, NX_DHCP_PRIORITY, NX_DHCP_PRIORITY, TX_NO_TIME_SLICE,
                       TX_AUTO_START) != TX_SUCCESS) {
    tx_event_flags_delete(&dhcp->nx_dhcp_events);
    nx_udp_socket_delete(&dhcp->nx_dhcp_socket);
    return NX_NOT_SUCCESSFUL;
  }
  dhcp->nx_dhcp_created = 1;
  return NX_SUCCESS;
}

UINT nx_dhcp_state_change_notify(NX_DHCP* dhcp, VOID (*callback)(NX_DHCP*, UCHAR)) {
  if (!dhcp || !dhcp->nx_dhcp_created) return NX_PTR_ERROR;
  dhcp->nx_dhcp_state_change_callback = callback;
  return NX_SUCCESS;
}

UINT nx_dhcp_start(NX_DHCP* dhcp) {
  if (!dhcp || !dhcp->nx_dhcp_created) return NX_PTR_ERROR;
  if (dhcp->nx_dhcp_state != NX_DHCP_STATE_NOT_STARTED) return NX_DHCP_ALREADY_STARTED;
  if (dhcp->nx_dhcp_socket.nx_udp_socket_port == 0) {
    const UINT status = nx_udp_socket_bind(&dhcp->nx_dhcp_socket, DHCP_CLIENT_PORT, NX_NO_WAIT);
    if (status != NX_SUCCESS) return status;
  }
  dhcp->nx_dhcp_stop_request = 0;
  dhcp->nx_dhcp_renew_request = 0;
  dhcp->nx_dhcp_state = NX_DHCP_STATE_INIT;
  tx_event_flags_set(&dhcp->nx_dhcp_events, kStartFlag, TX_OR);
  return NX_SUCCESS;
}

UINT nx_dhcp_stop(NX_DHCP* dhcp) {
  if (!dhcp || !dhcp->nx_dhcp_created) return NX_PTR_ERROR;
  if (dhcp->nx_dhcp_state == NX_DHCP_STATE_NOT_STARTED) return NX_DHCP_NOT_STARTED;
  dhcp->nx_dhcp_stop_request = 1;
  nudge(dhcp);
  nx_udp_socket_unbind(&dhcp->nx_dhcp_socket);
  nx_ip_address_set(dhcp->nx_dhcp_ip_ptr, 0, dhcp->nx_dhcp_ip_ptr->nx_ip_network_mask);
  return NX_SUCCESS;
}

UINT nx_dhcp_force_renew(NX_DHCP* dhcp) {
  if (!dhcp || !dhcp->nx_dhcp_created) return NX_PTR_ERROR;
  if (dhcp->nx_dhcp_state != NX_DHCP_STATE_BOUND) return NX_DHCP_NOT_BOUND;
  dhcp->nx_dhcp_renew_request = 1;
  nudge(dhcp);
  return NX_SUCCESS;
}

UINT nx_dhcp_delete(NX_DHCP* dhcp) {
  if (!dhcp || !dhcp->nx_dhcp_created) return NX_PTR_ERROR;
  if (dhcp->nx_dhcp_state != NX_DHCP_STATE_NOT_STARTED) nx_dhcp_stop(dhcp);
  tx_thread_terminate(&dhcp->nx_dhcp_thread);
  tx_thread_delete(&dhcp->nx_dhcp_thread);
  tx_event_flags_delete(&dhcp->nx_dhcp_events);
  nx_udp_socket_delete(&dhcp->nx_dhcp_socket);
  dhcp->nx_dhcp_created = 0;
  return NX_SUCCESS;
}
