// Telnet server and client add-ons over the stack's TCP sockets. The server's
// thread sleeps on its event flags; the sockets' listen, receive and
// disconnect callbacks (instance thread) raise the bit of their connection.
#include <cstring>
#include <vector>

#include "nx_internal.h"
#include "nx_telnet.h"

namespace nx_impl {

namespace {

// Marks a created server or client in the stack's registry, so a shutdown
// forgets it with everything else.
struct telnet_object : object {
  static constexpr okind kKind = okind::telnet;
  telnet_object() : object(kKind) {}
};

enum : UINT { CONN_FREE = 0, CONN_LISTENING = 1, CONN_CONNECTED = 2 };
enum : UCHAR { PARSE_DATA = 0, PARSE_IAC, PARSE_OPTION, PARSE_SB, PARSE_SB_IAC };
constexpr ULONG kControlBit = 1ul << 16;
constexpr ULONG kAllBits = 0xFFFFFFFFul;

// Server control blocks by the index their threads are started with; kept
// for the life of the program (a thread may look after its server is gone).
std::vector<NX_TELNET_SERVER*>& servers() {
  static auto* v = new std::vector<NX_TELNET_SERVER*>;
  return *v;
}

bool alive(const void* cb) { return registry_find(cb) != nullptr; }

NX_TELNET_SERVER_CONNECTION* connection_of(NX_TCP_SOCKET* socket) {
  // The socket is the connection's first member.
  return reinterpret_cast<NX_TELNET_SERVER_CONNECTION*>(socket);
}

void raise(NX_TCP_SOCKET* socket) {
  NX_TELNET_SERVER_CONNECTION* c = connection_of(socket);
  NX_TELNET_SERVER* s = c->nx_telnet_connection_server;
  if (s && alive(s)) tx_event_flags_set(&s->nx_telnet_server_events, 1ul << c->nx_telnet_connection_index, TX_OR);
}

void on_listen(NX_TCP_SOCKET* socket, UINT) { raise(socket); }
void on_receive(NX_TCP_SOCKET* socket) { raise(socket); }
void on_disconnect(NX_TCP_SOCKET* socket) { raise(socket); }

// Sends bytes of the stand-in's own (negotiation) on a connection; lost
// when no packet is free.
void send_raw(NX_TELNET_SERVER* s, NX_TELNET_SERVER_CONNECTION* c, const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return;
  NX_PACKET_POOL* pool = s->nx_telnet_server_ip_ptr->nx_ip_default_pool;
  NX_PACKET* p = nullptr;
  if (nx_packet_allocate(pool, &p, NX_TCP_PACKET, NX_NO_WAIT) != NX_SUCCESS) return;
  if (nx_packet_data_append(p, bytes.data(), static_cast<ULONG>(bytes.size()), pool, NX_NO_WAIT) != NX_SUCCESS ||
      nx_tcp_socket_send(&c->nx_telnet_connection_socket, p, NX_NO_WAIT) != NX_SUCCESS)
    nx_packet_release(p);
}

// The client's answer to an option command: its offers (WILL) and requests
// to enable one of ours that we do not have (DO) are refused, once each.
void answer_option(NX_TELNET_SERVER_CONNECTION* c, UCHAR command, UCHAR option, std::vector<uint8_t>* reply) {
  bool ours = option == NX_TELNET_ECHO || option == NX_TELNET_SGA;
  UCHAR refusal = 0;
  if (command == NX_TELNET_WILL) refusal = NX_TELNET_DONT;
  if (command == NX_TELNET_DO && !ours) refusal = NX_TELNET_WONT;
  if (!refusal) return;
  UCHAR& mask = c->nx_telnet_connection_refused[option >> 3];
  UCHAR bit = static_cast<UCHAR>(1u << (option & 7));
  if (mask & bit) return;
  mask |= bit;
  reply->insert(reply->end(), {static_cast<uint8_t>(NX_TELNET_IAC), refusal, option});
}

// Removes telnet commands from the stream, keeping the parser's state
// across packets.
std::vector<uint8_t> strip(NX_TELNET_SERVER_CONNECTION* c, const std::vector<uint8_t>& in,
                           std::vector<uint8_t>* reply) {
  std::vector<uint8_t> out;
  for (uint8_t b : in) {
    switch (c->nx_telnet_connection_parse) {
      case PARSE_DATA:
        if (b == NX_TELNET_IAC) {
          c->nx_telnet_connection_parse = PARSE_IAC;
          break;
        }
        if (b == 0 && c->nx_telnet_connection_after_cr) {
          c->nx_telnet_connection_after_cr = 0;
          break;
        }
        c->nx_telnet_connection_after_cr = b == '\r';
        out.push_back(b);
        break;
      case PARSE_IAC:
        c->nx_telnet_connection_parse = PARSE_DATA;
        if (b == NX_TELNET_IAC) {
          c->nx_telnet_connection_after_cr = 0;
          out.push_back(b);
        } else if (b >= NX_TELNET_WILL && b <= NX_TELNET_DONT) {
          c->nx_telnet_connection_command = b;
          c->nx_telnet_connection_parse = PARSE_OPTION;
        } else if (b == NX_TELNET_SB) {
          c->nx_telnet_connection_parse = PARSE_SB;
        }
        break;
      case PARSE_OPTION:
        answer_option(c, c->nx_telnet_connection_command, b, reply);
        c->nx_telnet_connection_parse = PARSE_DATA;
        break;
      case PARSE_SB:
        if (b == NX_TELNET_IAC) c->nx_telnet_connection_parse = PARSE_SB_IAC;
        break;
      default:  // PARSE_SB_IAC
        c->nx_telnet_connection_parse = b == NX_TELNET_SE ? PARSE_DATA : PARSE_SB;
        break;
    }
  }
  return out;
}

bool any_listening(NX_TELNET_SERVER* s) {
  for (auto& c : s->nx_telnet_server_connections)
    if (c.nx_telnet_connection_state == CONN_LISTENING) return true;
  return false;
}

// Puts a free connection's socket on the port for the next client.
void relisten(NX_TELNET_SERVER* s) {
  if (!s->nx_telnet_server_started || any_listening(s)) return;
  for (auto& c : s->nx_telnet_server_connections) {
    if (c.nx_telnet_connection_state != CONN_FREE) continue;
    UINT st = nx_tcp_server_socket_relisten(s->nx_telnet_server_ip_ptr, s->nx_telnet_server_port,
                                            &c.nx_telnet_connection_socket);
    if (st == NX_SUCCESS || st == NX_CONNECTION_PENDING) {
      c.nx_telnet_connection_state = CONN_LISTENING;
      if (st == NX_CONNECTION_PENDING) raise(&c.nx_telnet_connection_socket);
    } else {
      ++s->nx_telnet_server_relisten_errors;
    }
    return;
  }
}

void end_connection(NX_TELNET_SERVER* s, NX_TELNET_SERVER_CONNECTION* c) {
  if (c->nx_telnet_connection_state != CONN_CONNECTED) return;
  c->nx_telnet_connection_state = CONN_FREE;
  nx_tcp_socket_disconnect(&c->nx_telnet_connection_socket, NX_NO_WAIT);
  nx_tcp_server_socket_unaccept(&c->nx_telnet_connection_socket);
  if (s->nx_telnet_server_open_connections) --s->nx_telnet_server_open_connections;
  ++s->nx_telnet_server_disconnection_requests;
  if (s->nx_telnet_connection_end) s->nx_telnet_connection_end(s, c->nx_telnet_connection_index);
}

void serve(NX_TELNET_SERVER* s, NX_TELNET_SERVER_CONNECTION* c) {
  NX_TCP_SOCKET* socket = &c->nx_telnet_connection_socket;
  if (c->nx_telnet_connection_state == CONN_LISTENING && socket->nx_tcp_socket_state != NX_TCP_LISTEN &&
      nx_tcp_server_socket_accept(socket, NX_NO_WAIT) == NX_SUCCESS) {
    c->nx_telnet_connection_state = CONN_CONNECTED;
    c->nx_telnet_connection_parse = PARSE_DATA;
    c->nx_telnet_connection_after_cr = 0;
    std::memset(c->nx_telnet_connection_refused, 0, sizeof c->nx_telnet_connection_refused);
    ++s->nx_telnet_server_open_connections;
    ++s->nx_telnet_server_connection_requests;
    // Character at a time: the server echoes, and no go-aheads.
    send_raw(s, c,
             {NX_TELNET_IAC, NX_TELNET_WILL, NX_TELNET_ECHO, NX_TELNET_IAC, NX_TELNET_WILL, NX_TELNET_SGA});
    relisten(s);
    if (s->nx_telnet_new_connection) s->nx_telnet_new_connection(s, c->nx_telnet_connection_index);
  }
  if (c->nx_telnet_connection_state != CONN_CONNECTED) return;
  for (;;) {
    NX_PACKET* p = nullptr;
    if (nx_tcp_socket_receive(socket, &p, NX_NO_WAIT) != NX_SUCCESS) break;
    std::vector<uint8_t> bytes = chain_bytes(p);
    s->nx_telnet_server_total_bytes_received += static_cast<ULONG>(bytes.size());
    std::vector<uint8_t> reply;
    std::vector<uint8_t> data = strip(c, bytes, &reply);
    send_raw(s, c, reply);
    if (data.empty() || !s->nx_telnet_receive_data) {
      nx_packet_release(p);
      continue;
    }
    // The packet now carries the data stream only.
    if (p->nx_packet_next) {
      nx_packet_release(p->nx_packet_next);
      p->nx_packet_next = nullptr;
    }
    p->nx_packet_append_ptr = p->nx_packet_prepend_ptr;
    p->nx_packet_length = 0;
    if (nx_packet_data_append(p, data.data(), static_cast<ULONG>(data.size()),
                              s->nx_telnet_server_ip_ptr->nx_ip_default_pool, NX_NO_WAIT) != NX_SUCCESS) {
      nx_packet_release(p);
      continue;
    }
    s->nx_telnet_receive_data(s, c->nx_telnet_connection_index, p);
    if (c->nx_telnet_connection_state != CONN_CONNECTED) return;  // ended meanwhile
  }
  UINT st = socket->nx_tcp_socket_state;
  if (st != NX_TCP_ESTABLISHED) {
    end_connection(s, c);
    relisten(s);
  }
}

void server_thread(ULONG index) {
  NX_TELNET_SERVER* s = servers()[index];
  for (;;) {
    ULONG actual = 0;
    if (tx_event_flags_get(&s->nx_telnet_server_events, kAllBits, TX_OR_CLEAR, &actual, TX_WAIT_FOREVER) !=
        TX_SUCCESS)
      return;
    if (!alive(s)) return;
    if (!s->nx_telnet_server_started) continue;
    for (auto& c : s->nx_telnet_server_connections) serve(s, &c);
  }
}

}  // namespace

}  // namespace nx_impl

using namespace nx_impl;

UINT nx_telnet_server_create(NX_TELNET_SERVER* s, const CHAR* name, NX_IP* ip, VOID* stack, ULONG stack_size,
                             VOID (*new_connection)(NX_TELNET_SERVER*, UINT),
                             VOID (*receive_data)(NX_TELNET_SERVER*, UINT, NX_PACKET*),
                             VOID (*connection_end)(NX_TELNET_SERVER*, UINT)) {
  if (!s || !ip || !stack) return NX_PTR_ERROR;
  if (stack_size < 1024) return NX_SIZE_ERROR;
  enter e;
  if (alive(s)) return NX_ALREADY_CREATED;
  if (!find<nx_impl::ip>(ip)) return NX_PTR_ERROR;
  *s = NX_TELNET_SERVER{};
  s->nx_telnet_server_name = name;
  s->nx_telnet_server_ip_ptr = ip;
  s->nx_telnet_server_port = NX_TELNET_SERVER_PORT;
  s->nx_telnet_new_connection = new_connection;
  s->nx_telnet_receive_data = receive_data;
  s->nx_telnet_connection_end = connection_end;
  UINT status = NX_SUCCESS;
  UINT made = 0;
  for (; made < NX_TELNET_MAX_CLIENTS; ++made) {
    NX_TELNET_SERVER_CONNECTION& c = s->nx_telnet_server_connections[made];
    status = nx_tcp_socket_create(ip, &c.nx_telnet_connection_socket, name, NX_IP_NORMAL, NX_FRAGMENT_OKAY,
                                  NX_IP_TIME_TO_LIVE, NX_TELNET_SERVER_WINDOW_SIZE, nullptr, on_disconnect);
    if (status != NX_SUCCESS) break;
    nx_tcp_socket_receive_notify(&c.nx_telnet_connection_socket, on_receive);
    c.nx_telnet_connection_server = s;
    c.nx_telnet_connection_index = made;
  }
  if (status == NX_SUCCESS && tx_event_flags_create(&s->nx_telnet_server_events, const_cast<CHAR*>(name)) != TX_SUCCESS)
    status = NX_NOT_SUCCESSFUL;
  if (status == NX_SUCCESS) {
    servers().push_back(s);
    s->nx_telnet_server_thread_index = static_cast<UINT>(servers().size() - 1);
    if (tx_thread_create(&s->nx_telnet_server_thread, const_cast<CHAR*>(name), server_thread,
                         s->nx_telnet_server_thread_index, stack, stack_size, NX_TELNET_SERVER_PRIORITY,
                         NX_TELNET_SERVER_PRIORITY, TX_NO_TIME_SLICE, TX_AUTO_START) != TX_SUCCESS) {
      tx_event_flags_delete(&s->nx_telnet_server_events);
      status = NX_NOT_SUCCESSFUL;
    }
  }
  if (status != NX_SUCCESS) {
    for (UINT i = 0; i < made; ++i) nx_tcp_socket_delete(&s->nx_telnet_server_connections[i].nx_telnet_connection_socket);
    return status;
  }
  registry_add(s, std::make_unique<telnet_object>());
  return NX_SUCCESS;
}

UINT nx_telnet_server_start(NX_TELNET_SERVER* s) {
  enter e;
  if (!s || !alive(s)) return NX_NOT_CREATED;
  if (s->nx_telnet_server_started) return NX_ALREADY_ENABLED;
  NX_TELNET_SERVER_CONNECTION& first = s->nx_telnet_server_connections[0];
  UINT status = nx_tcp_server_socket_listen(s->nx_telnet_server_ip_ptr, s->nx_telnet_server_port,
                                            &first.nx_telnet_connection_socket, NX_TELNET_MAX_CLIENTS, on_listen);
  if (status != NX_SUCCESS) return status;
  first.nx_telnet_connection_state = CONN_LISTENING;
  s->nx_telnet_server_started = 1;
  tx_event_flags_set(&s->nx_telnet_server_events, kControlBit, TX_OR);
  return NX_SUCCESS;
}

UINT nx_telnet_server_stop(NX_TELNET_SERVER* s) {
  enter e;
  if (!s || !alive(s)) return NX_NOT_CREATED;
  if (!s->nx_telnet_server_started) return NX_NOT_ENABLED;
  s->nx_telnet_server_started = 0;
  for (auto& c : s->nx_telnet_server_connections) {
    end_connection(s, &c);
    c.nx_telnet_connection_state = CONN_FREE;
  }
  nx_tcp_server_socket_unlisten(s->nx_telnet_server_ip_ptr, s->nx_telnet_server_port);
  return NX_SUCCESS;
}

UINT nx_telnet_server_delete(NX_TELNET_SERVER* s) {
  enter e;
  if (!s || !alive(s)) return NX_NOT_CREATED;
  if (s->nx_telnet_server_started) nx_telnet_server_stop(s);
  registry_retire(s);
  if (tx_thread_identify() != &s->nx_telnet_server_thread) {
    tx_thread_terminate(&s->nx_telnet_server_thread);
    tx_thread_delete(&s->nx_telnet_server_thread);
  }
  tx_event_flags_delete(&s->nx_telnet_server_events);
  for (auto& c : s->nx_telnet_server_connections) nx_tcp_socket_delete(&c.nx_telnet_connection_socket);
  return NX_SUCCESS;
}

UINT nx_telnet_server_packet_send(NX_TELNET_SERVER* s, UINT logical_connection, NX_PACKET* packet,
                                  ULONG wait_option) {
  if (!packet) return NX_PTR_ERROR;
  enter e;
  if (!s || !alive(s)) return NX_NOT_CREATED;
  if (logical_connection >= NX_TELNET_MAX_CLIENTS) return NX_TELNET_INVALID_CONNECTION;
  NX_TELNET_SERVER_CONNECTION& c = s->nx_telnet_server_connections[logical_connection];
  if (c.nx_telnet_connection_state != CONN_CONNECTED) return NX_TELNET_INVALID_CONNECTION;
  ULONG length = packet->nx_packet_length;
  UINT status = nx_tcp_socket_send(&c.nx_telnet_connection_socket, packet, wait_option);
  if (status == NX_SUCCESS) s->nx_telnet_server_total_bytes_sent += length;
  return status;
}

UINT nx_telnet_server_disconnect(NX_TELNET_SERVER* s, UINT logical_connection) {
  enter e;
  if (!s || !alive(s)) return NX_NOT_CREATED;
  if (logical_connection >= NX_TELNET_MAX_CLIENTS) return NX_TELNET_INVALID_CONNECTION;
  NX_TELNET_SERVER_CONNECTION& c = s->nx_telnet_server_connections[logical_connection];
  if (c.nx_telnet_connection_state != CONN_CONNECTED) return NX_TELNET_INVALID_CONNECTION;
  end_connection(s, &c);
  relisten(s);
  return NX_SUCCESS;
}

UINT nx_telnet_client_create(NX_TELNET_CLIENT* client, const CHAR* name, NX_IP* ip, ULONG window_size) {
  if (!client || !ip) return NX_PTR_ERROR;
  enter e;
  if (alive(client)) return NX_ALREADY_CREATED;
  *client = NX_TELNET_CLIENT{};
  client->nx_telnet_client_name = name;
  client->nx_telnet_client_ip_ptr = ip;
  UINT status = nx_tcp_socket_create(ip, &client->nx_telnet_client_socket, name, NX_IP_NORMAL, NX_FRAGMENT_OKAY,
                                     NX_IP_TIME_TO_LIVE, window_size, nullptr, nullptr);
  if (status != NX_SUCCESS) return status;
  registry_add(client, std::make_unique<telnet_object>());
  return NX_SUCCESS;
}

UINT nx_telnet_client_delete(NX_TELNET_CLIENT* client) {
  enter e;
  if (!client || !alive(client)) return NX_NOT_CREATED;
  registry_retire(client);
  nx_tcp_socket_delete(&client->nx_telnet_client_socket);
  return NX_SUCCESS;
}

UINT nx_telnet_client_connect(NX_TELNET_CLIENT* client, ULONG server_address, UINT server_port, ULONG wait_option) {
  enter e;
  if (!client || !alive(client)) return NX_NOT_CREATED;
  NX_TCP_SOCKET* socket = &client->nx_telnet_client_socket;
  if (socket->nx_tcp_socket_state != NX_TCP_CLOSED) return NX_NOT_CLOSED;
  UINT status = nx_tcp_client_socket_bind(socket, NX_ANY_PORT, wait_option);
  if (status != NX_SUCCESS && status != NX_ALREADY_BOUND) return status;
  status = nx_tcp_client_socket_connect(socket, server_address, server_port, wait_option);
  if (status != NX_SUCCESS) nx_tcp_client_socket_unbind(socket);
  return status;
}

UINT nx_telnet_client_disconnect(NX_TELNET_CLIENT* client, ULONG wait_option) {
  enter e;
  if (!client || !alive(client)) return NX_NOT_CREATED;
  UINT status = nx_tcp_socket_disconnect(&client->nx_telnet_client_socket, wait_option);
  nx_tcp_client_socket_unbind(&client->nx_telnet_client_socket);
  return status;
}

UINT nx_telnet_client_packet_receive(NX_TELNET_CLIENT* client, NX_PACKET** packet, ULONG wait_option) {
  if (!packet) return NX_PTR_ERROR;
  enter e;
  if (!client || !alive(client)) return NX_NOT_CREATED;
  return nx_tcp_socket_receive(&client->nx_telnet_client_socket, packet, wait_option);
}

UINT nx_telnet_client_packet_send(NX_TELNET_CLIENT* client, NX_PACKET* packet, ULONG wait_option) {
  enter e;
  if (!client || !alive(client)) return NX_NOT_CREATED;
  return nx_tcp_socket_send(&client->nx_telnet_client_socket, packet, wait_option);
}
