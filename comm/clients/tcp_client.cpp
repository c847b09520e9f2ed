#include "comm/clients/tcp_client.h"

#include <cstring>

#include "frame/trace/trace.h"

namespace {

// The thread argument is 32 bits wide: clients are found by index.
tcp_client* g_clients[TCP_CLIENTS] = {};
uint32_t g_client_count = 0;

// Shared by all clients; this system has one.
volatile uint8_t g_idle_count = TCP_CLIENT_IDLE_WAITS;

tcp_client* client_of(NX_TCP_SOCKET* socket) {
  for (uint32_t i = 0; i < g_client_count; ++i)
    if (g_clients[i] && &g_clients[i]->socket == socket) return g_clients[i];
  return nullptr;
}

bool socket_connected(tcp_client* c) { return c->socket.nx_tcp_socket_state == NX_TCP_ESTABLISHED; }

// Sleeps until a buffer is handed over. No sender may come between the test
// and the suspension, or its wake-up would be lost.
void wait_for_buffer(tcp_client* c) {
  TX_THREAD* self = &c->thread;
  UINT old = 0;
  tx_thread_preemption_change(self, 0, &old);
  if (c->pending == 0) tx_thread_suspend(self);
  tx_thread_preemption_change(self, old, &old);
}

void connected_pass(tcp_client* c) {
  if (c->disconnected || !socket_connected(c)) {
    // Leave at once: a pending buffer waits for the next connection rather
    // than being lost on a closed socket.
    c->state = TCP_CLIENT_DISCONNECTING;
    return;
  }
  if (tx_semaphore_get(&c->transmit, TCP_CLIENT_DATA_WAIT) == TX_SUCCESS) {
    NX_PACKET* packet = c->packet;
    if (packet) {
      if (c->disconnected || !socket_connected(c)) {
        // The peer left while the count came: keep the buffer for the next
        // connection.
        tx_semaphore_put(&c->transmit);
        c->state = TCP_CLIENT_DISCONNECTING;
        return;
      }
      c->packet = nullptr;
      UINT status = nx_tcp_socket_send(&c->socket, packet, TCP_CLIENT_WAIT);
      if (status != NX_SUCCESS) {
        monitor_printf("tcp_client_thread_entry: nx_tcp_socket_send failure:0x%02X\n", status);
        nx_packet_release(packet);
      }
      if (c->pending) c->pending = c->pending - 1;
    }
    g_idle_count = TCP_CLIENT_IDLE_WAITS;
  }
  if (g_idle_count == 0) {
    c->state = TCP_CLIENT_DISCONNECTING;
  } else {
    g_idle_count = static_cast<uint8_t>(g_idle_count - 1);
  }
}

}  // namespace

void tcp_client_forget_all() {
  for (tcp_client*& c : g_clients) c = nullptr;
  g_client_count = 0;
  g_idle_count = TCP_CLIENT_IDLE_WAITS;
}

void tcp_client_initialize(tcp_client* client, NX_IP* ip, uint8_t** cursor, NX_PACKET_POOL* pool) {
  if (!client || !cursor || !*cursor) return;
  std::memset(static_cast<void*>(client), 0, sizeof *client);
  client->ip = ip;
  client->pool = pool;
  client->state = TCP_CLIENT_IDLE;
  if (g_client_count >= TCP_CLIENTS) {
    monitor_printf("tcp_client_initialize: tx_thread_create error:0x%02X!\n", TX_THREAD_ERROR);
    return;
  }
  const uint32_t index = g_client_count;
  g_clients[g_client_count++] = client;

  UINT status = tx_semaphore_create(&client->transmit, "transmit semaphore", 0);
  if (status != TX_SUCCESS) {
    monitor_printf("tcp_client_initialize: tx_semaphore_create failure:0x%02X!\n", status);
    return;
  }
  status = nx_tcp_socket_create(ip, &client->socket, "tcp client socket", NX_IP_NORMAL, NX_FRAGMENT_OKAY,
                                NX_IP_TIME_TO_LIVE, TCP_CLIENT_WINDOW, nullptr, tcp_client_disconnect_callback);
  if (status != NX_SUCCESS) {
    monitor_printf("tcp_client_initialize: nx_tcp_socket_create error:0x%02X!\n", status);
    return;
  }
  // The thread last: it looks at the socket and the semaphore at once.
  status = tx_thread_create(&client->thread, "tcp client thread", tcp_client_thread_entry, index, *cursor,
                            TCP_CLIENT_STACK, TCP_CLIENT_PRIORITY, TCP_CLIENT_PRIORITY, 1, TX_AUTO_START);
  if (status != TX_SUCCESS) {
    monitor_printf("tcp_client_initialize: tx_thread_create error:0x%02X!\n", status);
    return;
  }
  *cursor += TCP_CLIENT_STACK;
  client->created = 1;
}

void tcp_client_configure(tcp_client* client, uint16_t local_port, uint32_t remote_address, uint16_t remote_port) {
  if (!client) return;
  client->remote_address = remote_address;
  client->remote_port = remote_port;
  if (!client->created) return;
  nx_tcp_client_socket_unbind(&client->socket);
  UINT status = nx_tcp_client_socket_bind(&client->socket, local_port, NX_NO_WAIT);
  if (status != NX_SUCCESS) monitor_printf("tcp_thread_initialize: nx_tcp_client_socket_bind error:0x%02X\n", status);
}

bool tcp_client_busy(const tcp_client* client) { return client && client->pending != 0; }

int tcp_client_send_data(tcp_client* client, const uint8_t* bytes, uint32_t length) {
  if (!client || !client->created || !bytes) return 0;
  if (client->pending != 0) {
    monitor_printf("tcp_client_send_data: tcp client driver busy\n");
    return 0;
  }
  NX_PACKET* packet = nullptr;
  UINT status = nx_packet_allocate(client->pool, &packet, NX_TCP_PACKET, TCP_CLIENT_WAIT);
  if (status != NX_SUCCESS) {
    monitor_printf("tcp_client_send_data: nx_packet_allocate failure:0x%02X!\n", status);
    return 0;
  }
  status = nx_packet_data_append(packet, bytes, length, client->pool, TCP_CLIENT_WAIT);
  if (status != NX_SUCCESS) {
    monitor_printf("tcp_client_send_data: nx_packet_data_append failure:0x%02X\n", status);
    nx_packet_release(packet);
    return 0;
  }
  // The count only once the packet stands, so that the thread never finds a
  // count without a packet.
  client->packet = packet;
  client->pending = 1;
  tx_semaphore_put(&client->transmit);
  tx_thread_resume(&client->thread);
  return 1;
}

void tcp_client_disconnect_callback(NX_TCP_SOCKET* socket) {
  tcp_client* c = client_of(socket);
  if (!c || c->state == TCP_CLIENT_IDLE) return;
  c->disconnected = 1;
  tx_thread_wait_abort(&c->thread);
}

void tcp_client_thread_entry(ULONG index) {
  tcp_client* c = index < TCP_CLIENTS ? g_clients[index] : nullptr;
  if (!c) return;
  for (;;) {
    switch (c->state) {
      case TCP_CLIENT_IDLE:
        c->disconnected = 0;
        wait_for_buffer(c);
        c->state = TCP_CLIENT_CONNECTING;
        break;
      case TCP_CLIENT_CONNECTING: {
        if (c->disconnected) {
          c->state = TCP_CLIENT_IDLE;
          break;
        }
        UINT status = nx_tcp_client_socket_connect(&c->socket, c->remote_address, c->remote_port, TCP_CLIENT_WAIT);
        if (status == NX_SUCCESS) {
          c->state = TCP_CLIENT_CONNECTED;
          g_idle_count = TCP_CLIENT_IDLE_WAITS;
        } else if (status == NX_NOT_CONNECTED) {
          // Tried again while the buffer waits.
          monitor_printf_debug("tcp_client_thread_entry: nx_tcp_client_socket_connect connection timed out!\n");
        } else {
          monitor_printf("tcp_client_thread_entry: nx_tcp_client_socket_connect failed:0x%02X\n", status);
          c->state = TCP_CLIENT_IDLE;
        }
        break;
      }
      case TCP_CLIENT_CONNECTED:
        connected_pass(c);
        break;
      default: {
        if (c->socket.nx_tcp_socket_state != NX_TCP_CLOSED) {
          UINT status = nx_tcp_socket_disconnect(&c->socket, TCP_CLIENT_WAIT);
          if (status != NX_SUCCESS && status != NX_WAIT_ABORTED)
            monitor_printf("tcp_client_thread_entry: nx_tcp_socket_disconnect failure:0x%02X\n", status);
        }
        c->state = TCP_CLIENT_IDLE;
        break;
      }
    }
  }
}
