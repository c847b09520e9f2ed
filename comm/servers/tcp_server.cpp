#include "comm/servers/tcp_server.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "comm/ntcip_endpoint.h"
#include "comm/ntcip_link.h"
#include "frame/bus/letter.h"
#include "frame/bus/post_office.h"
#include "frame/serial/ring_buffer.h"
#include "frame/trace/trace.h"

namespace {

tcp_thread_record g_records[TCP_WORKERS];
TX_MUTEX g_tcp_mutex;
NX_PACKET_POOL* g_pool = nullptr;

constexpr uint32_t kFlushBytes = 500;

tcp_thread_record* record_of(NX_TCP_SOCKET* socket) {
  for (tcp_thread_record& r : g_records)
    if (&r.socket == socket) return &r;
  return nullptr;
}

// A connection arrived for a listening worker: wake it.
void tcp_listen_wakeup(NX_TCP_SOCKET* socket, UINT) {
  if (tcp_thread_record* r = record_of(socket)) tx_thread_resume(&r->thread);
}

// The peer closed or reset the connection: end the worker's wait.
void tcp_socket_disconnected(NX_TCP_SOCKET* socket) {
  tcp_thread_record* r = record_of(socket);
  if (r && r->connected) {
    r->connected = 0;
    tx_thread_wait_abort(&r->thread);
  }
}

// Listens again on the port of the first record that needs it, with the
// first free record; one per call. Called under "tcp mutex".
void tcp_relisten_pending() {
  tcp_thread_record* pending = nullptr;
  for (tcp_thread_record& r : g_records)
    if (r.relisten) {
      pending = &r;
      break;
    }
  if (!pending) return;
  for (tcp_thread_record& r : g_records) {
    if (!r.free || !r.ip) continue;
    const uint16_t port = pending->port;
    CTCP_Server* server = pending->server;
    pending->relisten = 0;
    r.free = 0;
    r.port = port;
    r.server = server;
    UINT status = nx_tcp_server_socket_relisten(r.ip, port, &r.socket);
    if (status != NX_SUCCESS && status != NX_CONNECTION_PENDING) {
      status = nx_tcp_server_socket_listen(r.ip, port, &r.socket, 1, tcp_listen_wakeup);
      if (status != NX_SUCCESS) monitor_printf("nx_tcp_server_socket_listen error:0x%02X\n", status);
    }
    return;
  }
}

void tcp_thread_entry(ULONG index) {
  tcp_thread_record* r = &g_records[index];
  TX_THREAD* self = &r->thread;
  for (;;) {
    if (nx_tcp_server_socket_accept(&r->socket, TCP_ACCEPT_WAIT) == NX_SUCCESS) {
      ++r->generation;
      r->connected = 1;
      if (r->server) r->server->SetCurrent(r);
      if (r->port == TRAP_PORT) g_post_office.Publish(MSG_TCP_CLIENT_CONNECTED);
      while (r->connected)
        if (!r->server || !r->server->Receive(r)) r->connected = 0;
      if (r->port == TRAP_PORT) g_post_office.Publish(MSG_TCP_CLIENT_CLOSED);
    }
    nx_tcp_socket_disconnect(&r->socket, 4);
    nx_tcp_server_socket_unaccept(&r->socket);

    tx_mutex_get(&g_tcp_mutex, TX_WAIT_FOREVER);
    r->connected = 0;
    r->free = 1;
    r->relisten = 1;
    tcp_relisten_pending();
    tx_mutex_put(&g_tcp_mutex);

    // No listen callback may come between the test and the suspension.
    UINT old = 0;
    tx_thread_preemption_change(self, 0, &old);
    if (r->free || r->socket.nx_tcp_socket_port == 0) tx_thread_suspend(self);
    tx_thread_preemption_change(self, old, &old);
  }
}

int send_on(tcp_thread_record* r, const uint8_t* bytes, uint32_t length) {
  if (!r || !r->connected || !g_pool || length > ETHERNET_FRAME_SIZE) return 0;
  NX_PACKET* packet = nullptr;
  if (nx_packet_allocate(g_pool, &packet, NX_TCP_PACKET, SERVER_PACKET_WAIT) != NX_SUCCESS) return 0;
  if (nx_packet_data_append(packet, bytes, length, g_pool, SERVER_PACKET_WAIT) != NX_SUCCESS ||
      nx_tcp_socket_send(&r->socket, packet, SERVER_PACKET_WAIT) != NX_SUCCESS) {
    nx_packet_release(packet);
    return 0;
  }
  return 1;
}

}  // namespace

void tcp_thread_initialize(NX_IP* ip, uint8_t** stack_memory, NX_PACKET_POOL* pool) {
  g_pool = pool;
  for (ULONG i = 0; i < TCP_WORKERS; ++i) {
    tcp_thread_record& r = g_records[i];
    std::memset(static_cast<void*>(&r), 0, sizeof r);
    uint8_t* stack = *stack_memory;
    *stack_memory += SERVER_STACK_SIZE;
    UINT status = tx_thread_create(&r.thread, "tcp thread", tcp_thread_entry, i, stack, SERVER_STACK_SIZE,
                                   SERVER_PRIORITY, SERVER_PRIORITY, 1, TX_DONT_START);
    if (status != TX_SUCCESS) {
      monitor_printf("tcp_thread_initialize: tx_thread_create error 0x%02X!\n", status);
      continue;
    }
    status = nx_tcp_socket_create(ip, &r.socket, "tcp thread socket", NX_IP_NORMAL, NX_FRAGMENT_OKAY,
                                  NX_IP_TIME_TO_LIVE, TCP_WINDOW, nullptr, tcp_socket_disconnected);
    if (status != NX_SUCCESS) {
      monitor_printf("tcp_thread_initialize: nx_tcp_socket_create error 0x%02X!\n", status);
      continue;
    }
    r.ip = ip;
    r.free = 1;
  }
  std::memset(&g_tcp_mutex, 0, sizeof g_tcp_mutex);
  tx_mutex_create(&g_tcp_mutex, "tcp mutex", TX_NO_INHERIT);
}

uint32_t tcp_server_listen(uint16_t port, CTCP_Server* server) {
  tx_mutex_get(&g_tcp_mutex, TX_WAIT_FOREVER);
  for (tcp_thread_record& r : g_records) {
    if (!r.free) continue;
    r.free = 0;
    r.port = port;
    r.server = server;
    r.relisten = 0;
    UINT status = nx_tcp_server_socket_listen(r.ip, port, &r.socket, 1, tcp_listen_wakeup);
    if (status != NX_SUCCESS) {
      monitor_printf("nx_tcp_server_socket_listen error:0x%02X\n", status);
      continue;  // the record stays taken
    }
    tx_mutex_put(&g_tcp_mutex);
    return 0;
  }
  tx_mutex_put(&g_tcp_mutex);
  return 1;
}

const tcp_thread_record* tcp_thread_records() { return g_records; }

CTCP_Server::~CTCP_Server() {
  delete m_pTx;
  delete m_pRx;
}

int CTCP_Server::Open(uint16_t port, uint32_t ring_size) {
  if (tcp_server_listen(port, this) != 0) return 0;
  if (ring_size == 0) return 1;
  delete m_pTx;
  delete m_pRx;
  m_pTx = new (std::nothrow) CRingBuffer(ring_size);
  m_pRx = new (std::nothrow) CRingBuffer(ring_size);
  if (!m_pTx || !m_pRx || m_pTx->Size() == 0 || m_pRx->Size() == 0) {
    delete m_pTx;
    delete m_pRx;
    m_pTx = m_pRx = nullptr;
    return 0;
  }
  return 1;
}

int CTCP_Server::Receive(tcp_thread_record* worker) {
  if (!worker || !worker->connected) return 0;
  NX_PACKET* packet = nullptr;
  if (nx_tcp_socket_receive(&worker->socket, &packet, TCP_RECEIVE_WAIT) != NX_SUCCESS) return 0;
  ULONG length = 0;
  nx_packet_length_get(packet, &length);

  ethernet_link* link = nullptr;
  snmp_agent* stream_agent = nullptr;
  const ntcip_link_ops* stream_ops = nullptr;
  if (worker->port != REMOTE_PANEL_PORT) {
    if (ethernet_protocol_is_snmp(m_byProtocol)) {
      link = ethernet_find("ethernet_tcp");
    } else if (m_byProtocol == ETHERNET_PROTOCOL_PMPP || m_byProtocol == ETHERNET_PROTOCOL_PPP) {
      // A PMPP or PPP stream goes byte by byte to its endpoint's link; an
      // endpoint or link module that is not there drops the bytes.
      const bool pmpp = m_byProtocol == ETHERNET_PROTOCOL_PMPP;
      CNTCIP* endpoint = CNTCIP::Endpoint(pmpp ? "ethernet_pmpp" : "ethernet_ppp");
      stream_ops = ntcip_get_link_ops(pmpp ? NTCIP_LINK_PMPP : NTCIP_LINK_PPP);
      if (endpoint && stream_ops && stream_ops->stream_byte) stream_agent = endpoint->Agent();
      // A new connection is a new peer: it negotiates and authenticates
      // afresh, never on the former peer's login.
      const bool new_peer = m_pStreamSocket != &worker->socket || m_uStreamGeneration != worker->generation;
      if (stream_agent && !pmpp && new_peer) {
        if (m_pStreamSocket && stream_ops->post_lcp_event)
          stream_ops->post_lcp_event(stream_agent, NTCIP_LCP_LINK_RESET);
        m_pStreamSocket = &worker->socket;
        m_uStreamGeneration = worker->generation;
      }
    }
  }
  ethernet_peer from;
  from.channel = &worker->socket;
  from.generation = worker->generation;
  from.address = worker->socket.nx_tcp_socket_peer_address;
  from.port = static_cast<uint16_t>(worker->socket.nx_tcp_socket_peer_port);

  for (ULONG offset = 0; offset < length;) {
    ULONG copied = 0;
    if (nx_packet_data_copy(packet, offset, worker->segment, sizeof worker->segment, &copied) != NX_SUCCESS ||
        copied == 0)
      break;
    offset += copied;
    if (worker->port == REMOTE_PANEL_PORT) {
      for (ULONG i = 0; m_pRx && i < copied && m_pRx->Put(worker->segment[i]); ++i) {
      }
    } else if (link) {
      ethernet_stream_receive(link, worker->segment, copied, from);
    } else if (stream_agent) {
      for (ULONG i = 0; i < copied; ++i) {
        stream_ops->stream_byte(stream_agent, worker->segment[i]);
        if (m_pCallback) m_pCallback(m_pCallbackContext, m_uCallbackArgument);
      }
    }
  }
  nx_packet_release(packet);
  return 1;
}

int CTCP_Server::Send(const uint8_t* bytes, uint32_t length) { return send_on(m_pCurrent, bytes, length); }

int CTCP_Server::SendTo(const uint8_t* bytes, uint32_t length, const ethernet_peer& to) {
  if (!to.channel) return Send(bytes, length);
  for (tcp_thread_record& r : g_records)
    if (&r.socket == to.channel && r.server == this && r.generation == to.generation)
      return send_on(&r, bytes, length);
  return 0;
}

void CTCP_Server::SetReceiveCallback(void (*callback)(void*, uint32_t), void* context, uint32_t argument) {
  m_pCallback = callback;
  m_pCallbackContext = context;
  m_uCallbackArgument = argument;
}

int CTCP_Server::GetByte(uint32_t* out) {
  uint8_t byte = 0;
  if (!m_pRx || !out || !m_pRx->Get(&byte)) return 0;
  *out = byte;
  return 1;
}

int CTCP_Server::PutByte(uint8_t byte) {
  if (m_pTx && !m_pTx->Put(byte)) monitor_printf("x");
  return 1;
}

void CTCP_Server::Flush() {
  if (!m_pTx || m_pTx->IsEmpty()) return;
  uint8_t buffer[kFlushBytes];
  uint32_t n = 0;
  while (n < kFlushBytes && m_pTx->Get(&buffer[n])) ++n;
  Send(buffer, n);
}
