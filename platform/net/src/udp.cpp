// UDP sockets: ports of an instance, datagram queues filled by the
// instance's thread from the back-end, and sends through the back-end.
#include <algorithm>
#include <cstring>

#include "nx_internal.h"

namespace nx_impl {

namespace {

constexpr ULONG kIpHeader = 20;
constexpr ULONG kUdpHeader = 8;

udp_socket* live_socket(NX_UDP_SOCKET* cb) {
  udp_socket* s = find<udp_socket>(cb);
  return s && !s->owner->dead ? s : nullptr;
}

void put16(UCHAR* at, ULONG v) {
  at[0] = static_cast<UCHAR>(v >> 8);
  at[1] = static_cast<UCHAR>(v);
}

void put32(UCHAR* at, ULONG v) {
  put16(at, v >> 16);
  put16(at + 2, v & 0xFFFF);
}

ULONG get16(const UCHAR* at) { return (static_cast<ULONG>(at[0]) << 8) | at[1]; }
ULONG get32(const UCHAR* at) { return (get16(at) << 16) | get16(at + 2); }

// The IPv4 and UDP headers in front of a received datagram's data, so that
// the sender can be read back the way it came.
void write_headers(NX_PACKET* p, udp_socket* s, ULONG from, UINT from_port, ULONG length) {
  UCHAR* udp = p->nx_packet_prepend_ptr - kUdpHeader;
  UCHAR* iph = udp - kIpHeader;
  std::memset(iph, 0, kIpHeader + kUdpHeader);
  iph[0] = 0x45;
  iph[1] = static_cast<UCHAR>(s->cb->nx_udp_socket_type_of_service);
  put16(iph + 2, kIpHeader + kUdpHeader + length);
  iph[8] = 128;
  iph[9] = 17;
  put32(iph + 12, from);
  put32(iph + 16, s->owner->cb->nx_ip_address);
  put16(udp, from_port);
  put16(udp + 2, s->cb->nx_udp_socket_port);
  put16(udp + 4, kUdpHeader + length);
}

// One datagram as a chain of packets of the instance's pool, or null.
NX_PACKET* build_datagram(udp_socket* s, const event& e) {
  NX_PACKET_POOL* pool_cb = s->owner->cb->nx_ip_default_pool;
  pool* p = pool_cb ? pool_cb->impl : nullptr;
  if (!p || p->dead) return nullptr;
  NX_PACKET* head = pool_take(p, NX_UDP_PACKET);
  if (!head) return nullptr;
  write_headers(head, s, e.address, e.port, static_cast<ULONG>(e.data.size()));
  NX_PACKET* last = head;
  size_t off = 0;
  for (;;) {
    size_t n = std::min<size_t>(e.data.size() - off, last->nx_packet_data_end - last->nx_packet_append_ptr);
    if (n) std::memcpy(last->nx_packet_append_ptr, e.data.data() + off, n);
    last->nx_packet_append_ptr += n;
    off += n;
    if (off == e.data.size()) break;
    NX_PACKET* more = pool_take(p, NX_RECEIVE_PACKET);
    if (!more) {
      nx_packet_release(head);
      return nullptr;
    }
    last->nx_packet_next = more;
    last = more;
  }
  head->nx_packet_length = static_cast<ULONG>(e.data.size());
  return head;
}

void drop_queue(udp_socket* s) {
  for (NX_PACKET* p : s->queue) nx_packet_release(p);
  s->queue.clear();
  s->cb->nx_udp_socket_queued = 0;
}

void unbind(udp_socket* s) {
  ip* i = s->owner;
  backend_of(i)->close(s->id);
  i->by_id.erase(s->id);
  i->udp_ports.erase(s->cb->nx_udp_socket_port);
  s->id = 0;
  s->cb->nx_udp_socket_port = 0;
  drop_queue(s);
  s->receivers.wake_all();
  i->port_waiters.wake_all();
}

}  // namespace

void udp_event(ip* owner, event& e) {
  auto it = owner->by_id.find(e.id);
  if (it == owner->by_id.end()) return;
  auto* s = as<udp_socket>(it->second);
  if (!s || s->dead || s->id != e.id) return;
  backend_of(owner)->map_source(net_proto::udp, &e.address, &e.port);
  if (s->queue.size() >= s->cb->nx_udp_socket_queue_maximum) {
    ++s->cb->nx_udp_socket_packets_dropped;
    ++owner->cb->nx_ip_udp_packets_dropped;
    return;
  }
  NX_PACKET* p = build_datagram(s, e);
  if (!p) {
    ++s->cb->nx_udp_socket_packets_dropped;
    ++owner->cb->nx_ip_udp_packets_dropped;
    return;
  }
  s->queue.push_back(p);
  s->cb->nx_udp_socket_queued = static_cast<ULONG>(s->queue.size());
  ++s->cb->nx_udp_socket_packets_received;
  ++owner->cb->nx_ip_udp_packets_received;
  s->receivers.wake_all();
}

void udp_close_all(ip* owner) {
  std::vector<udp_socket*> bound;
  for (auto& [port, s] : owner->udp_ports) bound.push_back(s);
  for (udp_socket* s : bound) unbind(s);
}

}  // namespace nx_impl

using namespace nx_impl;

UINT nx_udp_socket_create(NX_IP* ip_cb, NX_UDP_SOCKET* cb, const CHAR* name, ULONG type_of_service,
                          ULONG fragment, UINT time_to_live, ULONG queue_maximum) {
  if (!cb) return NX_PTR_ERROR;
  enter e;
  ip* i = find<ip>(ip_cb);
  if (!i) return NX_PTR_ERROR;
  if (!i->udp) return NX_NOT_ENABLED;
  if (registry_find(cb)) return NX_ALREADY_CREATED;
  *cb = NX_UDP_SOCKET{};
  cb->nx_udp_socket_name = name;
  cb->nx_udp_socket_ip = ip_cb;
  cb->nx_udp_socket_type_of_service = type_of_service;
  cb->nx_udp_socket_fragment = fragment;
  cb->nx_udp_socket_time_to_live = time_to_live;
  cb->nx_udp_socket_queue_maximum = queue_maximum;
  auto s = std::make_unique<udp_socket>();
  s->cb = cb;
  s->owner = i;
  cb->impl = s.get();
  registry_add(cb, std::move(s));
  return NX_SUCCESS;
}

UINT nx_udp_socket_delete(NX_UDP_SOCKET* cb) {
  enter e;
  udp_socket* s = find<udp_socket>(cb);
  if (!s) return NX_NOT_CREATED;
  if (s->id) unbind(s);
  registry_retire(cb);
  s->receivers.wake_all();
  cb->impl = nullptr;
  return NX_SUCCESS;
}

UINT nx_udp_socket_bind(NX_UDP_SOCKET* cb, UINT port, ULONG wait_option) {
  enter e;
  udp_socket* s = live_socket(cb);
  if (!s) return NX_NOT_CREATED;
  if (s->id) return NX_ALREADY_BOUND;
  if (port > 65535) return NX_INVALID_PORT;
  ip* i = s->owner;
  if (port == NX_ANY_PORT && (port = ip_free_port(i, false)) == 0) return NX_PORT_UNAVAILABLE;
  UINT status = wait_loop(
      wait_option, NX_PORT_UNAVAILABLE,
      [cb]() -> waitq* {
        udp_socket* t = live_socket(cb);
        return t ? &t->owner->port_waiters : nullptr;
      },
      [cb, port]() -> UINT {
        udp_socket* t = live_socket(cb);
        if (!t) return NX_NOT_CREATED;
        if (t->id) return NX_ALREADY_BOUND;
        return t->owner->udp_ports.count(port) ? NX_IN_PROGRESS : NX_SUCCESS;
      });
  if (status != NX_SUCCESS) return status;
  s = live_socket(cb);
  i = s->owner;
  uint64_t id = 0;
  status = backend_of(i)->udp_open(port, &id);
  if (status != NX_SUCCESS) return status;
  s->id = id;
  cb->nx_udp_socket_port = port;
  i->udp_ports[port] = s;
  i->by_id[id] = s;
  return NX_SUCCESS;
}

UINT nx_udp_socket_unbind(NX_UDP_SOCKET* cb) {
  enter e;
  udp_socket* s = live_socket(cb);
  if (!s) return NX_NOT_CREATED;
  if (!s->id) return NX_NOT_BOUND;
  unbind(s);
  return NX_SUCCESS;
}

UINT nx_udp_socket_port_get(NX_UDP_SOCKET* cb, UINT* port) {
  if (!port) return NX_PTR_ERROR;
  enter e;
  udp_socket* s = live_socket(cb);
  if (!s) return NX_NOT_CREATED;
  if (!s->id) return NX_NOT_BOUND;
  *port = cb->nx_udp_socket_port;
  return NX_SUCCESS;
}

UINT nx_udp_socket_receive(NX_UDP_SOCKET* cb, NX_PACKET** packet, ULONG wait_option) {
  if (!packet) return NX_PTR_ERROR;
  *packet = nullptr;
  enter e;
  std::optional<udp_watch> watch;
  if (udp_socket* s = live_socket(cb); s && s->id && s->queue.empty() && can_wait()) {
    watch.emplace(s->owner, s->id);
    rtos::set_wait_watch(&*watch);
  }
  const UINT status = wait_loop(
      wait_option, NX_NO_PACKET,
      [cb]() -> waitq* {
        udp_socket* s = live_socket(cb);
        return s ? &s->receivers : nullptr;
      },
      [cb, packet]() -> UINT {
        udp_socket* s = live_socket(cb);
        if (!s) return NX_NOT_CREATED;
        if (!s->id) return NX_NOT_BOUND;
        if (s->queue.empty()) return NX_IN_PROGRESS;
        *packet = s->queue.front();
        s->queue.pop_front();
        cb->nx_udp_socket_queued = static_cast<ULONG>(s->queue.size());
        return NX_SUCCESS;
      });
  if (watch) rtos::set_wait_watch(nullptr);
  return status;
}

UINT nx_udp_socket_send(NX_UDP_SOCKET* cb, NX_PACKET* packet, ULONG address, UINT port) {
  enter e;
  udp_socket* s = live_socket(cb);
  if (!s) return NX_NOT_CREATED;
  if (!s->id) return NX_NOT_BOUND;
  if (port == 0 || port > 65535) return NX_INVALID_PORT;
  UINT status = chain_check(packet, NX_UDP_PACKET);
  if (status != NX_SUCCESS) return status;
  status = backend_of(s->owner)->udp_send(s->id, address, port, chain_bytes(packet));
  if (status != NX_SUCCESS) return status;
  ++cb->nx_udp_socket_packets_sent;
  ++s->owner->cb->nx_ip_udp_packets_sent;
  nx_packet_release(packet);
  return NX_SUCCESS;
}

UINT nx_udp_source_extract(NX_PACKET* packet, ULONG* address, UINT* port) {
  if (!packet || !address || !port) return NX_PTR_ERROR;
  enter e;
  if (!pool_of(packet)) return NX_INVALID_PACKET;
  if (packet->nx_packet_prepend_ptr - packet->nx_packet_data_start < (long)(kIpHeader + kUdpHeader))
    return NX_INVALID_PACKET;
  const UCHAR* udp = packet->nx_packet_prepend_ptr - kUdpHeader;
  const UCHAR* iph = udp - kIpHeader;
  if (iph[0] != 0x45 || iph[9] != 17) return NX_INVALID_PACKET;
  *address = get32(iph + 12);
  *port = static_cast<UINT>(get16(udp));
  return NX_SUCCESS;
}
