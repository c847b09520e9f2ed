// TCP sockets: listening ports with their queues of pending connections,
// server and client sockets, receive queues with a window, and the
// callbacks, which run in the instance's thread.
#include <algorithm>
#include <cstring>

#include "nx_internal.h"

namespace nx_impl {

namespace {

tcp_socket* live_socket(NX_TCP_SOCKET* cb) {
  tcp_socket* s = find<tcp_socket>(cb);
  return s && !s->owner->dead ? s : nullptr;
}

void set_state(tcp_socket* s, UINT state) { s->cb->nx_tcp_socket_state = state; }
UINT state_of(tcp_socket* s) { return s->cb->nx_tcp_socket_state; }

void drop_queue(tcp_socket* s) {
  for (NX_PACKET* p : s->queue) nx_packet_release(p);
  s->queue.clear();
  s->held.clear();
  s->cb->nx_tcp_socket_receive_queued = 0;
}

void wake(tcp_socket* s) {
  s->receivers.wake_all();
  s->senders.wake_all();
}

// Asks for the next chunk of data while the window has room.
void maybe_read(tcp_socket* s) {
  if (s->reading || !s->conn || !s->held.empty()) return;
  UINT st = state_of(s);
  if (st != NX_TCP_ESTABLISHED && st != NX_TCP_SYN_RECEIVED) return;
  if (s->cb->nx_tcp_socket_receive_queued >= s->cb->nx_tcp_socket_window) return;
  s->reading = true;
  backend_of(s->owner)->resume(s->conn);
}

// Queues received bytes as packets of the instance's pool; what does not
// fit in the pool waits in `held` until a packet is released.
void take_data(tcp_socket* s, const uint8_t* data, size_t n) {
  pool* p = find<pool>(s->owner->cb->nx_ip_default_pool);
  size_t off = 0;
  while (p && off < n) {
    ULONG payload = s->owner->cb->nx_ip_default_pool->nx_packet_pool_payload_size;
    ULONG room = payload > NX_TCP_PACKET ? NX_TCP_PACKET : 0;
    NX_PACKET* packet = pool_take(p, room);
    if (!packet) break;
    size_t len = std::min<size_t>(n - off, payload - room);
    std::memcpy(packet->nx_packet_append_ptr, data + off, len);
    packet->nx_packet_append_ptr += len;
    packet->nx_packet_length = static_cast<ULONG>(len);
    s->queue.push_back(packet);
    s->cb->nx_tcp_socket_receive_queued += static_cast<ULONG>(len);
    off += len;
  }
  if (off < n) {
    s->held.insert(s->held.end(), data + off, data + n);
    if (p && std::find(p->starved.begin(), p->starved.end(), s->owner) == p->starved.end())
      p->starved.push_back(s->owner);
  }
  s->receivers.wake_all();
  if (off > 0 && s->cb->nx_tcp_receive_callback) s->cb->nx_tcp_receive_callback(s->cb);
}

void end_connection(tcp_socket* s) {
  if (s->conn) {
    s->owner->by_id.erase(s->conn);
    backend_of(s->owner)->close(s->conn);
    s->conn = 0;
  }
  drop_queue(s);
  s->reading = false;
  s->accepted = false;
}

void credit_listener(ip* i, listen_entry* le) {
  if (le->credit) return;
  if (!le->socket && le->pending.size() >= le->queue_maximum) return;
  le->credit = true;
  backend_of(i)->resume(le->id);
}

void attach(tcp_socket* s, listen_entry* le, uint64_t conn, ULONG address, UINT port) {
  s->conn = conn;
  s->owner->by_id[conn] = s;
  s->listening = nullptr;
  s->accepted = false;
  s->cb->nx_tcp_socket_peer_address = address;
  s->cb->nx_tcp_socket_peer_port = port;
  s->cb->nx_tcp_listen_callback = le->callback;
  set_state(s, NX_TCP_SYN_RECEIVED);
  maybe_read(s);
}

// Gives a listening port its next socket. A queued connection goes to it at
// once; its listen callback then follows on the next tick, when the caller
// has had its chance to suspend itself. Returns true in that case.
bool give_socket(ip* i, listen_entry* le, tcp_socket* s) {
  s->server = true;
  s->cb->nx_tcp_socket_port = le->port;
  if (!le->pending.empty()) {
    uint64_t conn = le->pending.front();
    auto peer = le->pending_peers.front();
    le->pending.pop_front();
    le->pending_peers.pop_front();
    --i->cb->nx_ip_tcp_connections_queued;
    attach(s, le, conn, peer.first, peer.second);
    credit_listener(i, le);
    if (le->callback) {
      i->delayed.push_back({s->cb, le->port, le->callback, tx_time_get() + 1});
      ip_wake(i);
    }
    s->receivers.wake_all();
    return true;
  }
  le->socket = s;
  s->listening = le;
  s->cb->nx_tcp_listen_callback = le->callback;
  set_state(s, NX_TCP_LISTEN);
  credit_listener(i, le);
  return false;
}

void detach_listener(tcp_socket* s) {
  listen_entry* le = s->listening;
  if (!le) return;
  le->socket = nullptr;
  s->listening = nullptr;
  credit_listener(s->owner, le);
}

void forget_server(tcp_socket* s) {
  detach_listener(s);
  s->server = false;
  if (!s->client_bound) s->cb->nx_tcp_socket_port = 0;
}

bool busy(tcp_socket* s) {
  return state_of(s) != NX_TCP_CLOSED || s->listening || s->client_bound || s->server;
}

void on_accepted(ip* i, event& e) {
  auto it = i->listener_ids.find(e.id);
  if (it == i->listener_ids.end()) {
    backend_of(i)->close(e.conn);
    return;
  }
  listen_entry* le = it->second;
  le->credit = false;
  backend_of(i)->map_source(net_proto::tcp, &e.address, &e.port);
  tcp_socket* s = le->socket;
  if (s && state_of(s) == NX_TCP_LISTEN) {
    le->socket = nullptr;
    attach(s, le, e.conn, e.address, e.port);
    credit_listener(i, le);
    s->receivers.wake_all();
    if (le->callback) le->callback(s->cb, le->port);
    return;
  }
  if (le->pending.size() < le->queue_maximum) {
    le->pending.push_back(e.conn);
    le->pending_peers.emplace_back(e.address, e.port);
    ++i->cb->nx_ip_tcp_connections_queued;
  } else {
    backend_of(i)->close(e.conn);
  }
  credit_listener(i, le);
}

tcp_socket* socket_of(ip* i, uint64_t conn) {
  auto it = i->by_id.find(conn);
  if (it == i->by_id.end()) return nullptr;
  auto* s = as<tcp_socket>(it->second);
  return s && !s->dead && s->conn == conn ? s : nullptr;
}

void close_listener(ip* i, listen_entry* le) {
  if (tcp_socket* s = le->socket) {
    le->socket = nullptr;
    s->listening = nullptr;
    s->server = false;
    s->cb->nx_tcp_socket_port = 0;
    set_state(s, NX_TCP_CLOSED);
    s->receivers.wake_all();
  }
  for (uint64_t conn : le->pending) backend_of(i)->close(conn);
  i->cb->nx_ip_tcp_connections_queued -= static_cast<ULONG>(le->pending.size());
  backend_of(i)->close(le->id);
  i->listener_ids.erase(le->id);
  i->listeners.erase(le->port);
}

// Waits on a socket's queue until `done` gives a status, the time runs out
// (timeout_status) or the wait is aborted. `done` returns NX_IN_PROGRESS to
// go on waiting.
template <class Done>
UINT wait_until(NX_TCP_SOCKET* cb, ULONG wait_option, UINT timeout_status, waitq tcp_socket::*queue, Done done) {
  return wait_loop(
      wait_option, timeout_status,
      [cb, queue]() -> waitq* {
        tcp_socket* s = live_socket(cb);
        return s ? &(s->*queue) : nullptr;
      },
      [cb, &done]() -> UINT {
        tcp_socket* s = live_socket(cb);
        return s ? done(s) : NX_NOT_CREATED;
      });
}

}  // namespace

void tcp_event(ip* i, event& e) {
  if (e.kind == ev_kind::tcp_accepted) {
    on_accepted(i, e);
    return;
  }
  tcp_socket* s = socket_of(i, e.id);
  if (!s) return;
  switch (e.kind) {
    case ev_kind::tcp_data:
      s->reading = false;
      ++i->cb->nx_ip_tcp_packets_received;
      take_data(s, e.data.data(), e.data.size());
      maybe_read(s);
      break;
    case ev_kind::tcp_closed: {
      s->reading = false;
      UINT st = state_of(s);
      if (st == NX_TCP_ESTABLISHED || st == NX_TCP_SYN_RECEIVED) set_state(s, NX_TCP_CLOSE_WAIT);
      wake(s);
      if (s->cb->nx_tcp_disconnect_callback) s->cb->nx_tcp_disconnect_callback(s->cb);
      break;
    }
    case ev_kind::tcp_connected:
      if (state_of(s) == NX_TCP_SYN_SENT) {
        set_state(s, NX_TCP_ESTABLISHED);
        maybe_read(s);
      }
      s->receivers.wake_all();
      break;
    case ev_kind::tcp_connect_failed:
      end_connection(s);
      set_state(s, NX_TCP_CLOSED);
      s->connect_failed = true;
      s->receivers.wake_all();
      break;
    case ev_kind::tcp_tx_ready:
      s->senders.wake_all();
      break;
    default:
      break;
  }
}

void tcp_retry_held(ip* i) {
  // Waking receivers may let other threads change the list.
  std::vector<tcp_socket*> sockets = i->tcp_sockets;
  for (tcp_socket* s : sockets) {
    if (s->dead || s->held.empty()) continue;
    std::vector<uint8_t> held;
    held.swap(s->held);
    take_data(s, held.data(), held.size());
    maybe_read(s);
  }
}

void tcp_run_delayed(ip* i) {
  ULONG now = tx_time_get();
  std::vector<delayed_callback> due;
  for (auto it = i->delayed.begin(); it != i->delayed.end();) {
    if (static_cast<int32_t>(now - it->due) >= 0) {
      due.push_back(*it);
      it = i->delayed.erase(it);
    } else {
      ++it;
    }
  }
  for (const delayed_callback& d : due)
    if (live_socket(d.socket)) d.callback(d.socket, d.port);
}

void tcp_close_all(ip* i) {
  while (!i->listeners.empty()) close_listener(i, i->listeners.begin()->second.get());
  std::vector<tcp_socket*> sockets = i->tcp_sockets;
  for (tcp_socket* s : sockets) {
    if (s->dead) continue;
    end_connection(s);
    set_state(s, NX_TCP_CLOSED);
    wake(s);
  }
}

}  // namespace nx_impl

using namespace nx_impl;

UINT nx_tcp_socket_create(NX_IP* ip_cb, NX_TCP_SOCKET* cb, const CHAR* name, ULONG type_of_service,
                          ULONG fragment, UINT time_to_live, ULONG window_size,
                          VOID (*urgent_callback)(NX_TCP_SOCKET*), VOID (*disconnect_callback)(NX_TCP_SOCKET*)) {
  if (!cb) return NX_PTR_ERROR;
  enter e;
  ip* i = find<ip>(ip_cb);
  if (!i) return NX_PTR_ERROR;
  if (!i->tcp) return NX_NOT_ENABLED;
  if (registry_find(cb)) return NX_ALREADY_CREATED;
  if (window_size == 0) return NX_SIZE_ERROR;
  *cb = NX_TCP_SOCKET{};
  cb->nx_tcp_socket_name = name;
  cb->nx_tcp_socket_ip = ip_cb;
  cb->nx_tcp_socket_state = NX_TCP_CLOSED;
  cb->nx_tcp_socket_type_of_service = type_of_service;
  cb->nx_tcp_socket_fragment = fragment;
  cb->nx_tcp_socket_time_to_live = time_to_live;
  cb->nx_tcp_socket_window = window_size;
  cb->nx_tcp_urgent_callback = urgent_callback;
  cb->nx_tcp_disconnect_callback = disconnect_callback;
  auto s = std::make_unique<tcp_socket>();
  s->cb = cb;
  s->owner = i;
  i->tcp_sockets.push_back(s.get());
  cb->impl = s.get();
  registry_add(cb, std::move(s));
  return NX_SUCCESS;
}

UINT nx_tcp_socket_delete(NX_TCP_SOCKET* cb) {
  enter e;
  tcp_socket* s = find<tcp_socket>(cb);
  if (!s) return NX_NOT_CREATED;
  ip* i = s->owner;
  end_connection(s);
  detach_listener(s);
  if (s->client_bound) {
    i->tcp_ports.erase(cb->nx_tcp_socket_port);
    i->port_waiters.wake_all();
  }
  auto& v = i->tcp_sockets;
  v.erase(std::remove(v.begin(), v.end(), s), v.end());
  set_state(s, NX_TCP_CLOSED);
  cb->nx_tcp_socket_port = 0;
  registry_retire(cb);
  wake(s);
  cb->impl = nullptr;
  return NX_SUCCESS;
}

UINT nx_tcp_server_socket_listen(NX_IP* ip_cb, UINT port, NX_TCP_SOCKET* cb, UINT queue_maximum,
                                 VOID (*listen_callback)(NX_TCP_SOCKET*, UINT)) {
  enter e;
  ip* i = find<ip>(ip_cb);
  if (!i) return NX_PTR_ERROR;
  tcp_socket* s = live_socket(cb);
  if (!s || s->owner != i) return NX_NOT_CREATED;
  if (!i->tcp) return NX_NOT_ENABLED;
  if (port == 0 || port > 65535) return NX_INVALID_PORT;
  if (busy(s)) return NX_NOT_CLOSED;
  auto it = i->listeners.find(port);
  if (it != i->listeners.end()) {
    // The port is still listened without a socket (after an unaccept):
    // this socket takes its place.
    listen_entry* le = it->second.get();
    if (le->socket) return NX_DUPLICATE_LISTEN;
    le->queue_maximum = queue_maximum;
    le->callback = listen_callback;
    give_socket(i, le, s);
    return NX_SUCCESS;
  }
  uint64_t id = 0;
  UINT status = backend_of(i)->tcp_listen(port, &id);
  if (status != NX_SUCCESS) return status;
  auto le = std::make_unique<listen_entry>();
  le->port = port;
  le->id = id;
  le->queue_maximum = queue_maximum;
  le->callback = listen_callback;
  listen_entry* raw = le.get();
  i->listeners[port] = std::move(le);
  i->listener_ids[id] = raw;
  give_socket(i, raw, s);
  return NX_SUCCESS;
}

UINT nx_tcp_server_socket_relisten(NX_IP* ip_cb, UINT port, NX_TCP_SOCKET* cb) {
  enter e;
  ip* i = find<ip>(ip_cb);
  if (!i) return NX_PTR_ERROR;
  tcp_socket* s = live_socket(cb);
  if (!s || s->owner != i) return NX_NOT_CREATED;
  auto it = i->listeners.find(port);
  if (it == i->listeners.end()) return NX_NOT_LISTENING;
  listen_entry* le = it->second.get();
  if (le->socket) return NX_DUPLICATE_LISTEN;
  if (busy(s)) return NX_NOT_CLOSED;
  return give_socket(i, le, s) ? NX_CONNECTION_PENDING : NX_SUCCESS;
}

UINT nx_tcp_server_socket_unlisten(NX_IP* ip_cb, UINT port) {
  enter e;
  ip* i = find<ip>(ip_cb);
  if (!i) return NX_PTR_ERROR;
  auto it = i->listeners.find(port);
  if (it == i->listeners.end()) return NX_NOT_LISTENING;
  close_listener(i, it->second.get());
  return NX_SUCCESS;
}

UINT nx_tcp_server_socket_accept(NX_TCP_SOCKET* cb, ULONG wait_option) {
  enter e;
  return wait_until(cb, wait_option, NX_NOT_CONNECTED, &tcp_socket::receivers, [](tcp_socket* s) -> UINT {
    UINT st = state_of(s);
    if (s->conn && !s->accepted && (st == NX_TCP_SYN_RECEIVED || st == NX_TCP_CLOSE_WAIT)) {
      s->accepted = true;
      if (st == NX_TCP_SYN_RECEIVED) set_state(s, NX_TCP_ESTABLISHED);
      return NX_SUCCESS;
    }
    if (s->accepted && (st == NX_TCP_ESTABLISHED || st == NX_TCP_CLOSE_WAIT)) return NX_SUCCESS;
    if (st != NX_TCP_LISTEN) return NX_NOT_LISTENING;
    return NX_IN_PROGRESS;
  });
}

UINT nx_tcp_server_socket_unaccept(NX_TCP_SOCKET* cb) {
  enter e;
  tcp_socket* s = live_socket(cb);
  if (!s) return NX_NOT_CREATED;
  if (!s->server) return NX_NOT_LISTENING;
  end_connection(s);
  forget_server(s);
  set_state(s, NX_TCP_CLOSED);
  wake(s);
  return NX_SUCCESS;
}

UINT nx_tcp_client_socket_bind(NX_TCP_SOCKET* cb, UINT port, ULONG wait_option) {
  enter e;
  tcp_socket* s = live_socket(cb);
  if (!s) return NX_NOT_CREATED;
  if (s->client_bound || s->server) return NX_ALREADY_BOUND;
  if (port > 65535) return NX_INVALID_PORT;
  ip* i = s->owner;
  if (port == NX_ANY_PORT && (port = ip_free_port(i, true)) == 0) return NX_PORT_UNAVAILABLE;
  UINT status = wait_loop(
      wait_option, NX_PORT_UNAVAILABLE,
      [cb]() -> waitq* {
        tcp_socket* t = live_socket(cb);
        return t ? &t->owner->port_waiters : nullptr;
      },
      [cb, port]() -> UINT {
        tcp_socket* t = live_socket(cb);
        if (!t) return NX_NOT_CREATED;
        if (t->client_bound || t->server) return NX_ALREADY_BOUND;
        return t->owner->tcp_ports.count(port) ? NX_IN_PROGRESS : NX_SUCCESS;
      });
  if (status != NX_SUCCESS) return status;
  s = live_socket(cb);
  i = s->owner;
  s->client_bound = true;
  cb->nx_tcp_socket_port = port;
  i->tcp_ports[port] = s;
  return NX_SUCCESS;
}

UINT nx_tcp_client_socket_unbind(NX_TCP_SOCKET* cb) {
  enter e;
  tcp_socket* s = live_socket(cb);
  if (!s) return NX_NOT_CREATED;
  if (!s->client_bound) return NX_NOT_BOUND;
  if (state_of(s) != NX_TCP_CLOSED) return NX_NOT_CLOSED;
  s->owner->tcp_ports.erase(cb->nx_tcp_socket_port);
  s->client_bound = false;
  cb->nx_tcp_socket_port = 0;
  s->owner->port_waiters.wake_all();
  return NX_SUCCESS;
}

UINT nx_tcp_client_socket_connect(NX_TCP_SOCKET* cb, ULONG address, UINT port, ULONG wait_option) {
  enter e;
  tcp_socket* s = live_socket(cb);
  if (!s) return NX_NOT_CREATED;
  if (!s->client_bound) return NX_NOT_BOUND;
  if (state_of(s) != NX_TCP_CLOSED) return NX_NOT_CLOSED;
  if (port == 0 || port > 65535) return NX_INVALID_PORT;
  ip* i = s->owner;
  uint64_t id = 0;
  s->connect_failed = false;
  cb->nx_tcp_socket_peer_address = address;
  cb->nx_tcp_socket_peer_port = port;
  // A refused or unmapped destination looks like a peer that never answers:
  // the connect fails when its time is up, as it would on the wire.
  if (backend_of(i)->tcp_connect(cb->nx_tcp_socket_port, address, port, &id) == NX_SUCCESS) {
    s->conn = id;
    i->by_id[id] = s;
    set_state(s, NX_TCP_SYN_SENT);
  } else {
    s->connect_failed = true;
  }
  if (wait_option == NX_NO_WAIT) return s->conn ? NX_IN_PROGRESS : NX_NOT_CONNECTED;
  UINT status = wait_until(cb, wait_option, NX_NOT_CONNECTED, &tcp_socket::receivers, [](tcp_socket* t) -> UINT {
    UINT st = state_of(t);
    if (st == NX_TCP_ESTABLISHED || st == NX_TCP_CLOSE_WAIT) return NX_SUCCESS;
    if (st == NX_TCP_SYN_SENT || (st == NX_TCP_CLOSED && t->connect_failed)) return NX_IN_PROGRESS;
    return NX_NOT_CONNECTED;  // disconnected meanwhile
  });
  if (status != NX_SUCCESS) {
    if ((s = live_socket(cb)) && state_of(s) == NX_TCP_SYN_SENT) {
      end_connection(s);
      set_state(s, NX_TCP_CLOSED);
    }
  }
  return status;
}

UINT nx_tcp_socket_disconnect(NX_TCP_SOCKET* cb, ULONG wait_option) {
  enter e;
  tcp_socket* s = live_socket(cb);
  if (!s) return NX_NOT_CREATED;
  UINT st = state_of(s);
  if (st == NX_TCP_CLOSED || st == NX_TCP_LISTEN) return NX_NOT_CONNECTED;
  end_connection(s);
  set_state(s, NX_TCP_CLOSED);
  wake(s);
  return NX_SUCCESS;
}

UINT nx_tcp_socket_receive(NX_TCP_SOCKET* cb, NX_PACKET** packet, ULONG wait_option) {
  if (!packet) return NX_PTR_ERROR;
  *packet = nullptr;
  enter e;
  return wait_until(cb, wait_option, NX_NO_PACKET, &tcp_socket::receivers, [packet](tcp_socket* s) -> UINT {
    if (!s->queue.empty()) {
      NX_PACKET* p = s->queue.front();
      s->queue.pop_front();
      s->cb->nx_tcp_socket_receive_queued -= p->nx_packet_length;
      *packet = p;
      maybe_read(s);
      return NX_SUCCESS;
    }
    UINT st = state_of(s);
    if (st == NX_TCP_ESTABLISHED) return NX_IN_PROGRESS;
    // The peer closed: what it sent before is still delivered.
    if (st == NX_TCP_CLOSE_WAIT && !s->held.empty()) return NX_IN_PROGRESS;
    return NX_NOT_CONNECTED;
  });
}

UINT nx_tcp_socket_send(NX_TCP_SOCKET* cb, NX_PACKET* packet, ULONG wait_option) {
  enter e;
  tcp_socket* s = live_socket(cb);
  if (!s) return NX_NOT_CREATED;
  if (state_of(s) != NX_TCP_ESTABLISHED) return NX_NOT_CONNECTED;
  UINT status = chain_check(packet, NX_TCP_PACKET);
  if (status != NX_SUCCESS) return status;
  std::vector<uint8_t> bytes = chain_bytes(packet);
  status = wait_until(cb, wait_option, NX_TX_QUEUE_FULL, &tcp_socket::senders, [&bytes](tcp_socket* t) -> UINT {
    if (state_of(t) != NX_TCP_ESTABLISHED) return NX_NOT_CONNECTED;
    UINT s2 = backend_of(t->owner)->tcp_send(t->conn, bytes);
    return s2 == NX_TX_QUEUE_FULL ? NX_IN_PROGRESS : s2;
  });
  if (status != NX_SUCCESS) return status;
  ++s->owner->cb->nx_ip_tcp_packets_sent;
  nx_packet_release(packet);
  return status;
}

UINT nx_tcp_socket_receive_notify(NX_TCP_SOCKET* cb, VOID (*callback)(NX_TCP_SOCKET*)) {
  enter e;
  tcp_socket* s = live_socket(cb);
  if (!s) return NX_NOT_CREATED;
  cb->nx_tcp_receive_callback = callback;
  return NX_SUCCESS;
}
