// A TCP client of the main IP instance with a thread of its own: it
// connects to its peer when a buffer is handed over, sends one buffer at a
// time, and disconnects after ten quiet seconds or when the peer closes.
// One carries the traps pushed over TCP.
#pragma once

#include <cstdint>

#include "nx_api.h"
#include "tx_api.h"

constexpr uint32_t TCP_CLIENT_STACK = 2048;
constexpr UINT TCP_CLIENT_PRIORITY = 3;
constexpr ULONG TCP_CLIENT_WINDOW = 1000;
constexpr ULONG TCP_CLIENT_WAIT = 6000;       // connect, send, disconnect and packet waits
constexpr ULONG TCP_CLIENT_DATA_WAIT = 100;   // one quiet wait of a connected client
constexpr uint8_t TCP_CLIENT_IDLE_WAITS = 10; // quiet waits before the client disconnects
constexpr uint32_t TCP_CLIENTS = 4;

enum : uint32_t {
  TCP_CLIENT_IDLE = 0,
  TCP_CLIENT_CONNECTING = 1,
  TCP_CLIENT_CONNECTED = 2,
  TCP_CLIENT_DISCONNECTING = 3,
};

struct tcp_client {
  NX_TCP_SOCKET socket;  // "tcp client socket"
  TX_THREAD thread;      // "tcp client thread"
  NX_IP* ip;
  uint32_t remote_address;
  uint32_t remote_port;
  NX_PACKET* packet;  // the one packet waiting to be sent
  NX_PACKET_POOL* pool;
  volatile uint32_t state;
  TX_SEMAPHORE transmit;  // "transmit semaphore": one count per buffer handed over
  volatile uint32_t disconnected;
  volatile uint32_t pending;  // 0 or 1
  uint8_t created;            // thread, socket and semaphore exist
};

// Creates the thread (its stack at the cursor, which moves on), the socket
// and the semaphore. At most TCP_CLIENTS clients per run.
void tcp_client_initialize(tcp_client* client, NX_IP* ip, uint8_t** cursor, NX_PACKET_POOL* pool);
// Stores the peer and binds the socket to the local port anew.
void tcp_client_configure(tcp_client* client, uint16_t local_port, uint32_t remote_address, uint16_t remote_port);
// Hands one buffer to the client's thread; refused (with a trace) while one
// is still pending. 1 when handed over.
int tcp_client_send_data(tcp_client* client, const uint8_t* bytes, uint32_t length);
bool tcp_client_busy(const tcp_client* client);
void tcp_client_thread_entry(ULONG index);
void tcp_client_disconnect_callback(NX_TCP_SOCKET* socket);
// Forgets the clients of a former run (a new kernel in the same process).
void tcp_client_forget_all();
