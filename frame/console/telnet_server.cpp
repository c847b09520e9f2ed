#include "frame/console/telnet_server.h"

#include <algorithm>

#include "frame/os/os.h"

namespace {

// The servers by their stack control block (the console has one).
constexpr int kMaxServers = 4;
CTelnetServer* g_servers[kMaxServers];
NX_TELNET_SERVER* g_blocks[kMaxServers];

}  // namespace

CTelnetServer::CTelnetServer(NX_IP* ip, NX_PACKET_POOL* pool, TX_BYTE_POOL* byte_pool)
    : m_pIp(ip), m_pPool(pool), m_pBytePool(byte_pool) {}

CTelnetServer::~CTelnetServer() {
  Stop();
  Delete();
}

void CTelnetServer::SetEventHandler(event_handler handler, void* context) {
  m_pContext = context;
  m_pfnHandler = handler;
}

void CTelnetServer::SetNetwork(NX_IP* ip, NX_PACKET_POOL* pool) {
  if (m_byState >= STATE_CREATED) return;
  m_pIp = ip;
  m_pPool = pool;
}

CTelnetServer* CTelnetServer::Owner(NX_TELNET_SERVER* server) {
  for (int i = 0; i < kMaxServers; ++i)
    if (g_blocks[i] == server) return g_servers[i];
  return nullptr;
}

int CTelnetServer::Create() {
  if (m_byState >= STATE_CREATED || !m_pIp || !m_pBytePool) return 0;
  int slot = -1;
  for (int i = 0; i < kMaxServers && slot < 0; ++i)
    if (!g_servers[i]) slot = i;
  if (slot < 0) return 0;
  if (os_byte_allocate(m_pBytePool, &m_pStack, STACK_SIZE, OS_NO_WAIT) != OS_SUCCESS) {
    m_pStack = nullptr;
    return 0;
  }
  // Registered first: a connection may arrive as soon as the server runs.
  g_servers[slot] = this;
  g_blocks[slot] = &m_Server;
  if (nx_telnet_server_create(&m_Server, "Server", m_pIp, m_pStack, STACK_SIZE, OnNewConnection, OnReceive, OnEnd) !=
      NX_SUCCESS) {
    g_servers[slot] = nullptr;
    g_blocks[slot] = nullptr;
    os_byte_release(m_pStack);
    m_pStack = nullptr;
    return 0;
  }
  m_byState = STATE_CREATED;
  return 1;
}

int CTelnetServer::Start() {
  if (m_byState < STATE_CREATED || m_byState == STATE_STARTED) return 0;
  if (nx_telnet_server_start(&m_Server) != NX_SUCCESS) return 0;
  m_byState = STATE_STARTED;
  return 1;
}

int CTelnetServer::Stop() {
  if (m_byState < STATE_STARTED) return 0;
  nx_telnet_server_stop(&m_Server);
  m_byState = STATE_STOPPED;
  return 1;
}

int CTelnetServer::Delete() {
  if (m_byState < STATE_CREATED) return 0;
  nx_telnet_server_delete(&m_Server);
  for (int i = 0; i < kMaxServers; ++i) {
    if (g_servers[i] == this) {
      g_servers[i] = nullptr;
      g_blocks[i] = nullptr;
    }
  }
  if (m_pStack) os_byte_release(m_pStack);
  m_pStack = nullptr;
  m_byState = STATE_DELETED;
  return 1;
}

int CTelnetServer::Send(uint32_t connection, const void* data, uint32_t length) {
  if (m_byState != STATE_STARTED || !data || !length) return 0;
  NX_PACKET* packet = nullptr;
  if (nx_packet_allocate(m_pPool, &packet, NX_TCP_PACKET, NX_NO_WAIT) != NX_SUCCESS) return 0;
  if (nx_packet_data_append(packet, data, length, m_pPool, NX_NO_WAIT) != NX_SUCCESS ||
      nx_telnet_server_packet_send(&m_Server, connection, packet, NX_NO_WAIT) != NX_SUCCESS) {
    nx_packet_release(packet);
    return 0;
  }
  return 1;
}

int CTelnetServer::Handle(uint32_t event, uint32_t connection, const uint8_t* data, uint32_t length, char* reply,
                          uint32_t* reply_length) {
  *reply_length = 0;
  if (!m_pfnHandler) return HANDLER_UNKNOWN_EVENT;
  int result = m_pfnHandler(m_pContext, event, connection, data, length, reply, reply_length);
  *reply_length = std::min(*reply_length, REPLY_SIZE);
  return result;
}

void CTelnetServer::Reply(uint32_t connection, const char* reply, uint32_t length) {
  if (!length) return;
  NX_PACKET* packet = nullptr;
  if (nx_packet_allocate(m_pPool, &packet, NX_TCP_PACKET, SEND_WAIT) != NX_SUCCESS) return;
  if (nx_packet_data_append(packet, reply, length, m_pPool, SEND_WAIT) != NX_SUCCESS ||
      nx_telnet_server_packet_send(&m_Server, connection, packet, SEND_WAIT) != NX_SUCCESS)
    nx_packet_release(packet);
}

void CTelnetServer::OnNewConnection(NX_TELNET_SERVER* server, UINT connection) {
  CTelnetServer* self = Owner(server);
  if (!self) return;
  char reply[REPLY_SIZE];
  uint32_t n = 0;
  if (self->Handle(EVENT_CONNECT, connection, nullptr, 0, reply, &n) == 0) self->Reply(connection, reply, n);
}

void CTelnetServer::OnReceive(NX_TELNET_SERVER* server, UINT connection, NX_PACKET* packet) {
  CTelnetServer* self = Owner(server);
  if (!self) {
    nx_packet_release(packet);
    return;
  }
  // The data go to the handler a small piece at a time, so the thread's
  // stack holds no more than one piece and its reply.
  uint8_t chunk[DATA_CHUNK];
  char reply[REPLY_SIZE];
  ULONG offset = 0;
  for (;;) {
    ULONG got = 0;
    if (nx_packet_data_copy(packet, offset, chunk, sizeof chunk, &got) != NX_SUCCESS || got == 0) break;
    offset += got;
    uint32_t n = 0;
    if (self->Handle(EVENT_DATA, connection, chunk, got, reply, &n) == 0) self->Reply(connection, reply, n);
  }
  nx_packet_release(packet);
}

void CTelnetServer::OnEnd(NX_TELNET_SERVER* server, UINT connection) {
  CTelnetServer* self = Owner(server);
  if (!self) return;
  char reply[REPLY_SIZE];
  uint32_t n = 0;
  self->Handle(EVENT_END, connection, nullptr, 0, reply, &n);
}
