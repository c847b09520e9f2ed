#include "frame/console/telnet_client.h"

CTelnetClient::CTelnetClient(NX_IP* ip, NX_PACKET_POOL* pool) : m_pIp(ip), m_pPool(pool) {}

CTelnetClient::~CTelnetClient() {
  if (m_byState == STATE_CONNECTED) Disconnect();
  Delete();
}

int CTelnetClient::Create() {
  if (m_byState >= STATE_CREATED) return 0;
  if (nx_telnet_client_create(&m_Client, "Client", m_pIp, WINDOW) != NX_SUCCESS) return 0;
  m_byState = STATE_CREATED;
  return 1;
}

int CTelnetClient::Connect(uint32_t address, uint32_t port) {
  if (m_byState == STATE_CONNECTED) return 0;
  if (m_byState < STATE_CREATED && !Create()) return 0;
  if (nx_telnet_client_connect(&m_Client, address, port, WAIT) != NX_SUCCESS) return 0;
  m_byState = STATE_CONNECTED;
  return 1;
}

int CTelnetClient::Disconnect() {
  if (m_byState < STATE_CREATED) return 0;
  UINT status = nx_telnet_client_disconnect(&m_Client, WAIT);
  if (status == NX_SUCCESS || status == NX_NOT_CONNECTED) m_byState = STATE_DISCONNECTED;
  return m_byState == STATE_DISCONNECTED ? 1 : 0;
}

int CTelnetClient::Receive(uint8_t* buffer, uint32_t size, uint32_t* bytes, uint32_t wait) {
  if (bytes) *bytes = 0;
  if (m_byState != STATE_CONNECTED || !buffer || !bytes) return 0;
  NX_PACKET* packet = nullptr;
  if (nx_telnet_client_packet_receive(&m_Client, &packet, wait) != NX_SUCCESS) return 0;
  ULONG copied = 0;
  nx_packet_data_copy(packet, 0, buffer, size, &copied);
  nx_packet_release(packet);
  *bytes = copied;
  return 1;
}

int CTelnetClient::Send(const void* data, uint32_t length) {
  if (m_byState != STATE_CONNECTED || !data) return 0;
  NX_PACKET* packet = nullptr;
  if (nx_packet_allocate(m_pPool, &packet, NX_TCP_PACKET, NX_WAIT_FOREVER) != NX_SUCCESS) return 0;
  if (nx_packet_data_append(packet, data, length, m_pPool, NX_WAIT_FOREVER) != NX_SUCCESS ||
      nx_telnet_client_packet_send(&m_Client, packet, WAIT) != NX_SUCCESS) {
    nx_packet_release(packet);
    return 0;
  }
  return 1;
}

int CTelnetClient::Delete() {
  if (m_byState < STATE_CREATED) return 0;
  nx_telnet_client_delete(&m_Client);
  m_byState = STATE_DELETED;
  return 1;
}
