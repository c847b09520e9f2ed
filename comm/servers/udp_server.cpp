#include "comm/servers/udp_server.h"

#include <cstring>

#include "database/database.h"
#include "database/objects.h"
#include "frame/trace/trace.h"

namespace {

udp_thread_record g_records[UDP_WORKERS];
TX_MUTEX g_udp_mutex;
NX_PACKET_POOL* g_pool = nullptr;

constexpr uint32_t kRealTimeHeader = 8;
constexpr uint8_t kRealTimeMarker = 13;

void udp_thread_entry(ULONG index) {
  udp_thread_record* r = &g_records[index];
  for (;;) {
    if (!r->server || !r->server->Receive(r)) tx_thread_sleep(1);
  }
}

}  // namespace

void udp_real_time_data(const uint8_t* bytes, uint32_t length) {
  CDataBase* db = g_pDataBase;
  if (!db || length <= kRealTimeHeader || bytes[0] != kRealTimeMarker) return;
  db->SetString(vol::quorRealTimeData.offset, vol::quorRealTimeData.width, bytes + kRealTimeHeader,
                length - kRealTimeHeader, db->mib_v, DB_NOTIFY);
}

namespace {

int send_on(NX_UDP_SOCKET* socket, const uint8_t* bytes, uint32_t length, uint32_t address, uint16_t port) {
  if (!socket || !g_pool || length > ETHERNET_FRAME_SIZE || port == 0) return 0;
  NX_PACKET* packet = nullptr;
  if (nx_packet_allocate(g_pool, &packet, NX_UDP_PACKET, SERVER_PACKET_WAIT) != NX_SUCCESS) return 0;
  if (nx_packet_data_append(packet, bytes, length, g_pool, SERVER_PACKET_WAIT) != NX_SUCCESS ||
      nx_udp_socket_send(socket, packet, address, port) != NX_SUCCESS) {
    nx_packet_release(packet);
    return 0;
  }
  return 1;
}

}  // namespace

void udp_thread_initialize(NX_IP* ip, uint8_t** stack_memory, NX_PACKET_POOL* pool) {
  g_pool = pool;
  for (ULONG i = 0; i < UDP_WORKERS; ++i) {
    udp_thread_record& r = g_records[i];
    std::memset(static_cast<void*>(&r), 0, sizeof r);
    uint8_t* stack = *stack_memory;
    *stack_memory += SERVER_STACK_SIZE;
    UINT status = tx_thread_create(&r.thread, "udp thread", udp_thread_entry, i, stack, SERVER_STACK_SIZE,
                                   SERVER_PRIORITY, SERVER_PRIORITY, 1, TX_DONT_START);
    if (status != TX_SUCCESS) {
      monitor_printf("udp_thread_initialize: tx_thread_create error:0x%02X\n", status);
      continue;
    }
    status = nx_udp_socket_create(ip, &r.socket, "udp thread socket", NX_IP_NORMAL, NX_FRAGMENT_OKAY,
                                  NX_IP_TIME_TO_LIVE, UDP_QUEUE_LIMIT);
    if (status != NX_SUCCESS) {
      monitor_printf("udp_thread_initialize: nx_udp_socket_create error:0x%02X\n", status);
      continue;
    }
    r.ip = ip;
    r.free = 1;
  }
  std::memset(&g_udp_mutex, 0, sizeof g_udp_mutex);
  tx_mutex_create(&g_udp_mutex, "udp mutex", TX_NO_INHERIT);
}

uint32_t udp_thread_listen_setup(uint16_t port, CUDP_Server* server) {
  tx_mutex_get(&g_udp_mutex, TX_WAIT_FOREVER);
  for (udp_thread_record& r : g_records) {
    if (!r.free) continue;
    r.free = 0;
    r.port = port;
    r.server = server;
    UINT status = nx_udp_socket_bind(&r.socket, port, NX_NO_WAIT);
    if (status != NX_SUCCESS) {
      monitor_printf("udp_thread_listen_setup: nx_udp_socket_bind error:0x%02X\n", status);
      continue;  // the record stays taken
    }
    tx_mutex_put(&g_udp_mutex);
    tx_thread_resume(&r.thread);
    return 0;
  }
  tx_mutex_put(&g_udp_mutex);
  return 1;
}

const udp_thread_record* udp_thread_records() { return g_records; }

void CUDP_Server::Listen(uint16_t port) { udp_thread_listen_setup(port, this); }

int CUDP_Server::Receive(udp_thread_record* worker) {
  if (!worker) return 0;
  NX_PACKET* packet = nullptr;
  if (nx_udp_socket_receive(&worker->socket, &packet, NX_WAIT_FOREVER) != NX_SUCCESS) return 0;
  ULONG length = 0;
  nx_packet_length_get(packet, &length);
  // One byte more than the link takes tells a datagram that is too long.
  ULONG copied = 0;
  nx_packet_data_copy(packet, 0, worker->datagram, sizeof worker->datagram, &copied);

  if (worker->port == REAL_TIME_DATA_PORT) {
    if (length == copied) udp_real_time_data(worker->datagram, copied);
    nx_packet_release(packet);
    return 1;
  }
  ULONG address = 0;
  UINT port = 0;
  nx_udp_source_extract(packet, &address, &port);
  nx_packet_release(packet);
  m_pCurrent = worker;
  m_uLastAddress = address;
  m_uLastPort = port;
  if (ethernet_protocol_is_snmp(m_byProtocol)) {
    if (ethernet_link* link = ethernet_find("ethernet_udp")) {
      ethernet_peer from;
      from.channel = &worker->socket;
      from.address = address;
      from.port = static_cast<uint16_t>(port);
      // A datagram longer than the buffer arrives as its first bytes, still
      // more than the link's queue takes, and is dropped whole.
      ethernet_datagram_receive(link, worker->datagram, copied, from);
    }
  }
  return 1;
}

int CUDP_Server::Send(const uint8_t* bytes, uint32_t length) {
  udp_thread_record* worker = m_pCurrent;
  return worker ? send_on(&worker->socket, bytes, length, m_uLastAddress, static_cast<uint16_t>(m_uLastPort)) : 0;
}

int CUDP_Server::SendTo(const uint8_t* bytes, uint32_t length, const ethernet_peer& to) {
  for (udp_thread_record& r : g_records)
    if (&r.socket == to.channel && r.server == this) return send_on(&r.socket, bytes, length, to.address, to.port);
  return 0;
}
