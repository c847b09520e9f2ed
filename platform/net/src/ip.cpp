// IP instances: the instance's own thread (which runs the driver's
// initialise and enable requests, then the deferred work of the back-end and
// the delayed callbacks), addresses, status and the enabled services.
#include <algorithm>

#include "nx_internal.h"

namespace nx_impl {

namespace {

// The instances by the index their threads are started with.
std::vector<ip*>& instances() {
  static auto* v = new std::vector<ip*>;
  return *v;
}

void driver_request(NX_IP* cb, UINT command, ULONG* status_out) {
  NX_IP_DRIVER req{};
  req.nx_driver_command = command;
  req.nx_driver_ip = cb;
  cb->nx_ip_driver_entry(&req);
  *status_out = req.nx_driver_status;
}

ULONG next_due_wait(ip* i) {
  if (i->delayed.empty()) return TX_WAIT_FOREVER;
  ULONG now = tx_time_get();
  ULONG best = TX_WAIT_FOREVER;
  for (const delayed_callback& d : i->delayed) {
    int32_t until = static_cast<int32_t>(d.due - now);
    ULONG w = until <= 0 ? 0 : static_cast<ULONG>(until);
    best = std::min(best, w);
  }
  return best;
}

void ip_thread_entry(ULONG index) {
  ip* i = instances()[index];
  NX_IP* cb = i->cb;
  driver_request(cb, NX_DRIVER_INITIALIZE, &cb->nx_ip_driver_status_initialize);
  i->initialized = true;
  // A point-to-point link carries the instance's datagrams itself.
  if (!i->be && cb->nx_ip_driver_status_initialize == NX_SUCCESS && cb->nx_ip_driver_datagrams)
    i->be = make_link_backend(i);
  if (cb->nx_ip_driver_status_initialize != NX_SUCCESS)
    trace("nx_ip_thread: %s driver initialise failed:0x%02X\n", cb->nx_ip_name,
          (unsigned)cb->nx_ip_driver_status_initialize);
  // A link driver may block here until its link is up.
  driver_request(cb, NX_DRIVER_ENABLE, &cb->nx_ip_driver_status_enable);
  if (cb->nx_ip_driver_status_enable != NX_SUCCESS)
    trace("nx_ip_thread: %s driver enable failed:0x%02X\n", cb->nx_ip_name,
          (unsigned)cb->nx_ip_driver_status_enable);
  for (;;) {
    ULONG wait = next_due_wait(i);
    if (i->be) wait = std::min(wait, i->be->next_wait());
    tx_semaphore_get(&i->wake, wait);
    while (!i->deferred.empty()) {
      event e = std::move(i->deferred.front());
      i->deferred.pop_front();
      if (e.kind == ev_kind::udp_datagram)
        udp_event(i, e);
      else
        tcp_event(i, e);
    }
    if (i->retry) {
      i->retry = false;
      tcp_retry_held(i);
    }
    tcp_run_delayed(i);
    if (i->be) i->be->service();
  }
}

ULONG status_bits(ip* i) {
  ULONG bits = 0;
  if (i->initialized) bits |= NX_IP_INITIALIZED;
  if (i->cb->nx_ip_link_up) bits |= NX_IP_LINK_ENABLED;
  if (i->cb->nx_ip_address) bits |= NX_IP_ADDRESS_RESOLVED;
  if (i->arp) bits |= NX_IP_ARP_ENABLED;
  if (i->icmp) bits |= NX_IP_ICMP_ENABLED;
  if (i->udp) bits |= NX_IP_UDP_ENABLED;
  if (i->tcp) bits |= NX_IP_TCP_ENABLED;
  return bits;
}

UINT enable(NX_IP* cb, bool ip::*flag) {
  enter e;
  ip* i = find<ip>(cb);
  if (!i) return NX_PTR_ERROR;
  if (i->*flag) return NX_ALREADY_ENABLED;
  i->*flag = true;
  return NX_SUCCESS;
}

void drop_frame(NX_IP* cb, NX_PACKET* packet) {
  enter e;
  ip* i = find<ip>(cb);
  if (i) ++i->cb->nx_ip_frames_received;
  // The link engine takes the datagrams of its instance; the host sockets
  // carry the traffic of the others, whose frames have no one to go to.
  if (i && !i->dead && i->be && packet && i->be->input(packet)) return;
  if (packet) nx_packet_release(packet);
}

}  // namespace

void ip_wake(ip* owner) { tx_semaphore_put(&owner->wake); }

backend* backend_of(ip* owner) {
  if (!owner->be) owner->be = make_host_backend(owner);
  return owner->be.get();
}

void instances_clear() { instances().clear(); }

UINT ip_free_port(ip* owner, bool tcp) {
  for (UINT n = 0; n < 16384; ++n) {
    UINT port = kFirstClientPort + (owner->next_port++ % 16384);
    bool used = tcp ? (owner->tcp_ports.count(port) || owner->listeners.count(port)) : owner->udp_ports.count(port);
    if (!used) return port;
  }
  return 0;
}

void deliver(ip* owner, std::vector<event>&& events) {
  if (owner->dead) return;
  for (event& e : events) owner->deferred.push_back(std::move(e));
  ip_wake(owner);
}

}  // namespace nx_impl

using namespace nx_impl;

UINT nx_ip_create(NX_IP* cb, const CHAR* name, ULONG address, ULONG network_mask, NX_PACKET_POOL* pool_cb,
                  VOID (*driver)(NX_IP_DRIVER*), VOID* stack, ULONG stack_size, UINT priority) {
  if (!cb || !pool_cb || !driver || !stack) return NX_PTR_ERROR;
  enter e;
  if (registry_find(cb)) return NX_ALREADY_CREATED;
  if (!find<pool>(pool_cb)) return NX_PTR_ERROR;
  if (stack_size < 200) return NX_SIZE_ERROR;
  if (priority >= TX_MAX_PRIORITIES) return NX_OPTION_ERROR;
  *cb = NX_IP{};
  cb->nx_ip_name = name;
  cb->nx_ip_address = address;
  cb->nx_ip_network_mask = network_mask;
  cb->nx_ip_default_pool = pool_cb;
  cb->nx_ip_driver_entry = driver;
  auto owned = std::make_unique<ip>();
  ip* i = owned.get();
  i->cb = cb;
  i->index = static_cast<ULONG>(instances().size());
  if (tx_semaphore_create(&i->wake, "nx ip wake", 0) != TX_SUCCESS) return NX_NOT_SUCCESSFUL;
  instances().push_back(i);
  cb->impl = i;
  registry_add(cb, std::move(owned));
  UINT s = tx_thread_create(&cb->nx_ip_thread, name, ip_thread_entry, i->index, stack, stack_size, priority,
                            priority, TX_NO_TIME_SLICE, TX_AUTO_START);
  if (s != TX_SUCCESS) {
    trace("nx_ip_create: tx_thread_create failed:0x%02X\n", s);
    if (i->be) i->be->stop();
    tx_semaphore_delete(&i->wake);
    registry_retire(cb);
    cb->impl = nullptr;
    return NX_NOT_SUCCESSFUL;
  }
  return NX_SUCCESS;
}

UINT nx_ip_delete(NX_IP* cb) {
  enter e;
  ip* i = find<ip>(cb);
  if (!i) return NX_PTR_ERROR;
  if (tx_thread_identify() == &cb->nx_ip_thread) return NX_CALLER_ERROR;
  if (i->be) i->be->stop();
  udp_close_all(i);
  tcp_close_all(i);
  i->deferred.clear();
  i->delayed.clear();
  tx_thread_terminate(&cb->nx_ip_thread);
  tx_thread_delete(&cb->nx_ip_thread);
  tx_semaphore_delete(&i->wake);
  registry_retire(cb);
  cb->impl = nullptr;
  return NX_SUCCESS;
}

UINT nx_ip_address_set(NX_IP* cb, ULONG address, ULONG network_mask) {
  enter e;
  if (!find<ip>(cb)) return NX_PTR_ERROR;
  cb->nx_ip_address = address;
  cb->nx_ip_network_mask = network_mask;
  return NX_SUCCESS;
}

UINT _nx_ip_address_set(NX_IP* cb, ULONG address, ULONG network_mask) {
  return nx_ip_address_set(cb, address, network_mask);
}

UINT nx_ip_address_get(NX_IP* cb, ULONG* address, ULONG* network_mask) {
  if (!address || !network_mask) return NX_PTR_ERROR;
  enter e;
  if (!find<ip>(cb)) return NX_PTR_ERROR;
  *address = cb->nx_ip_address;
  *network_mask = cb->nx_ip_network_mask;
  return NX_SUCCESS;
}

UINT nx_ip_gateway_address_set(NX_IP* cb, ULONG address) {
  enter e;
  if (!find<ip>(cb)) return NX_PTR_ERROR;
  cb->nx_ip_gateway_address = address;
  return NX_SUCCESS;
}

UINT nx_ip_gateway_address_get(NX_IP* cb, ULONG* address) {
  if (!address) return NX_PTR_ERROR;
  enter e;
  if (!find<ip>(cb)) return NX_PTR_ERROR;
  *address = cb->nx_ip_gateway_address;
  return NX_SUCCESS;
}

UINT nx_ip_status_check(NX_IP* cb, ULONG needed, ULONG* actual, ULONG wait_option) {
  if (!actual) return NX_PTR_ERROR;
  *actual = 0;
  enter e;
  if (!find<ip>(cb)) return NX_PTR_ERROR;
  deadline d(wait_option);
  for (;;) {
    ip* i = find<ip>(cb);
    if (!i) return NX_DELETED;
    // Drivers write the link state directly, so it is polled once a tick.
    *actual = status_bits(i);
    if ((*actual & needed) == needed) return NX_SUCCESS;
    if (d.left() == 0) return NX_NOT_SUCCESSFUL;
    if (!can_wait()) return NX_WAIT_ERROR;
    UINT s = tx_thread_sleep(1);
    if (s == TX_WAIT_ABORTED) return NX_WAIT_ABORTED;
  }
}

UINT nx_ip_driver_direct_command(NX_IP* cb, UINT command, ULONG* return_value) {
  enter e;
  if (!find<ip>(cb)) return NX_PTR_ERROR;
  ULONG value = 0;
  NX_IP_DRIVER req{};
  req.nx_driver_command = command;
  req.nx_driver_ip = cb;
  req.nx_driver_return_ptr = &value;
  cb->nx_ip_driver_entry(&req);
  if (return_value) *return_value = value;
  return req.nx_driver_status;
}

UINT nx_arp_enable(NX_IP* cb, VOID* cache_memory, ULONG cache_size) {
  if (!cache_memory) return NX_PTR_ERROR;
  if (cache_size < 64) return NX_SIZE_ERROR;
  return enable(cb, &ip::arp);
}

UINT nx_icmp_enable(NX_IP* cb) { return enable(cb, &ip::icmp); }
UINT nx_udp_enable(NX_IP* cb) { return enable(cb, &ip::udp); }
UINT nx_tcp_enable(NX_IP* cb) { return enable(cb, &ip::tcp); }

VOID _nx_ip_packet_deferred_receive(NX_IP* ip, NX_PACKET* packet) { drop_frame(ip, packet); }
VOID _nx_arp_packet_deferred_receive(NX_IP* ip, NX_PACKET* packet) {
  if (ip) ++ip->nx_ip_arp_frames_dropped;
  drop_frame(ip, packet);
}
VOID _nx_rarp_packet_deferred_receive(NX_IP* ip, NX_PACKET* packet) { drop_frame(ip, packet); }

uint16_t net_host_port(NX_IP* cb, net_proto proto, UINT port) {
  enter e;
  ip* i = find<ip>(cb);
  if (!i) return 0;
  return i->be ? i->be->host_port(proto, port) : 0;
}
