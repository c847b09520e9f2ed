// ARP for the link engine when its link needs address resolution (an
// Ethernet carrying the instance's datagrams): requests for the instance's
// address are answered, answers and requests fill a small cache, and a
// datagram to a next hop not yet known waits for the answer to one request.
#include <algorithm>
#include <cstring>

#include "nx_internal.h"

namespace nx_impl {

namespace {

constexpr size_t kArpSize = 28;
constexpr size_t kCacheEntries = 16;
constexpr size_t kHeldMax = 4;
constexpr ULONG kAskAgain = 100;  // ticks before the same address is asked again
constexpr ULONG kGiveUp = 300;    // ticks after the last request: what waits is dropped
constexpr uint16_t kRequest = 1, kReply = 2;

uint32_t get16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | p[1]; }
uint32_t get32(const uint8_t* p) { return (get16(p) << 16) | get16(p + 2); }
void put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
void put32(uint8_t* p, uint32_t v) {
  put16(p, v >> 16);
  put16(p + 2, v & 0xFFFF);
}
void put_mac(uint8_t* p, ULONG msw, ULONG lsw) {
  put16(p, msw & 0xFFFF);
  put32(p + 2, lsw);
}

void driver_send(ip* owner, UINT command, NX_PACKET* packet, ULONG msw = 0, ULONG lsw = 0) {
  NX_IP_DRIVER request{};
  request.nx_driver_command = command;
  request.nx_driver_ip = owner->cb;
  request.nx_driver_packet = packet;
  request.nx_driver_dest_msw = msw;
  request.nx_driver_dest_lsw = lsw;
  owner->cb->nx_ip_driver_entry(&request);
}

// An ARP message of ours: op, the target's hardware and protocol address.
void send_arp(ip* owner, uint16_t op, ULONG target_msw, ULONG target_lsw, ULONG target) {
  pool* p = find<pool>(owner->cb->nx_ip_default_pool);
  NX_PACKET* packet = p ? pool_take(p, NX_PHYSICAL_HEADER) : nullptr;
  if (!packet) return;
  uint8_t* a = packet->nx_packet_prepend_ptr;
  std::memset(a, 0, kArpSize);
  put16(a, 1);
  put16(a + 2, 0x0800);
  a[4] = 6;
  a[5] = 4;
  put16(a + 6, op);
  put_mac(a + 8, owner->cb->nx_ip_physical_msw, owner->cb->nx_ip_physical_lsw);
  put32(a + 14, owner->cb->nx_ip_address);
  put_mac(a + 18, target_msw, target_lsw);
  put32(a + 24, target);
  packet->nx_packet_append_ptr = a + kArpSize;
  packet->nx_packet_length = kArpSize;
  if (op == kRequest)
    driver_send(owner, NX_DRIVER_ARP_SEND, packet);
  else
    driver_send(owner, NX_DRIVER_ARP_RESPONSE_SEND, packet, target_msw, target_lsw);
}

arp_entry* lookup(arp_link_state& s, ULONG address) {
  for (arp_entry& e : s.cache)
    if (e.address == address) return &e;
  return nullptr;
}

void learn(arp_link_state& s, ULONG address, ULONG msw, ULONG lsw) {
  arp_entry* e = lookup(s, address);
  if (!e) {
    if (s.cache.size() >= kCacheEntries) {
      auto oldest = std::min_element(s.cache.begin(), s.cache.end(), [](const arp_entry& a, const arp_entry& b) {
        return static_cast<int32_t>(a.used - b.used) < 0;
      });
      s.cache.erase(oldest);
    }
    s.cache.emplace_back();
    e = &s.cache.back();
    e->address = address;
  }
  e->msw = msw;
  e->lsw = lsw;
  e->used = tx_time_get();
}

ULONG next_hop(NX_IP* cb, ULONG destination) {
  const ULONG mask = cb->nx_ip_network_mask;
  if ((destination & mask) == (cb->nx_ip_address & mask) || !cb->nx_ip_gateway_address) return destination;
  return cb->nx_ip_gateway_address;
}

bool is_broadcast(NX_IP* cb, ULONG destination) {
  const ULONG mask = cb->nx_ip_network_mask;
  return destination == 0xFFFFFFFFu || (mask && destination == ((cb->nx_ip_address & mask) | ~mask));
}

void message_in(ip* owner, const std::vector<uint8_t>& a) {
  if (a.size() < kArpSize || get16(&a[0]) != 1 || get16(&a[2]) != 0x0800 || a[4] != 6 || a[5] != 4) return;
  const uint32_t op = get16(&a[6]);
  const ULONG msw = get16(&a[8]);
  const ULONG lsw = get32(&a[10]);
  const ULONG sender = get32(&a[14]);
  const ULONG target = get32(&a[24]);
  const ULONG own = owner->cb->nx_ip_address;
  arp_link_state& s = owner->arp_link;
  if (sender == 0 || own == 0) return;
  // A station that asks for us, or answers us, is worth knowing.
  if (target == own || lookup(s, sender) || s.asked.count(sender)) learn(s, sender, msw, lsw);
  if (op == kRequest && target == own) send_arp(owner, kReply, msw, lsw, sender);
  if (owner->dead) return;
  s.asked.erase(sender);
  // What waited for this station goes now.
  std::deque<std::pair<ULONG, NX_PACKET*>> still;
  std::deque<NX_PACKET*> ready;
  for (auto& [hop, packet] : s.held) {
    if (hop == sender && lookup(s, sender))
      ready.push_back(packet);
    else
      still.emplace_back(hop, packet);
  }
  s.held.swap(still);
  for (NX_PACKET* packet : ready) {
    arp_entry* e = lookup(s, sender);
    if (!e || owner->dead) {
      nx_packet_release(packet);
      continue;
    }
    driver_send(owner, NX_DRIVER_SEND, packet, e->msw, e->lsw);
  }
}

}  // namespace

void arp_send_datagram(ip* owner, NX_PACKET* packet, ULONG destination) {
  NX_IP* cb = owner->cb;
  if (is_broadcast(cb, destination)) {
    driver_send(owner, NX_DRIVER_BROADCAST, packet);
    return;
  }
  arp_link_state& s = owner->arp_link;
  const ULONG hop = next_hop(cb, destination);
  if (arp_entry* e = lookup(s, hop)) {
    e->used = tx_time_get();
    driver_send(owner, NX_DRIVER_SEND, packet, e->msw, e->lsw);
    return;
  }
  if (s.held.size() >= kHeldMax) {
    nx_packet_release(s.held.front().second);
    s.held.pop_front();
  }
  s.held.emplace_back(hop, packet);
  const ULONG now = tx_time_get();
  auto asked = s.asked.find(hop);
  if (asked != s.asked.end() && static_cast<int32_t>(now - asked->second) < static_cast<int32_t>(kAskAgain)) return;
  s.asked[hop] = now;
  send_arp(owner, kRequest, 0, 0, hop);
}

void arp_service(ip* owner) {
  arp_link_state& s = owner->arp_link;
  // Next hops that never answered: their datagrams go back to the pool.
  const ULONG now = tx_time_get();
  for (auto it = s.asked.begin(); it != s.asked.end();) {
    if (static_cast<int32_t>(now - it->second) < static_cast<int32_t>(kGiveUp)) {
      ++it;
      continue;
    }
    const ULONG hop = it->first;
    for (auto h = s.held.begin(); h != s.held.end();) {
      if (h->first == hop) {
        nx_packet_release(h->second);
        h = s.held.erase(h);
      } else {
        ++h;
      }
    }
    it = s.asked.erase(it);
  }
  while (!s.in.empty() && !owner->dead) {
    NX_PACKET* packet = s.in.front();
    s.in.pop_front();
    std::vector<uint8_t> bytes = chain_bytes(packet);
    nx_packet_release(packet);
    message_in(owner, bytes);
  }
}

void arp_forget(ip* owner) {
  arp_link_state& s = owner->arp_link;
  for (NX_PACKET* p : s.in) nx_packet_release(p);
  for (auto& held : s.held) nx_packet_release(held.second);
  s.in.clear();
  s.held.clear();
  s.cache.clear();
  s.asked.clear();
}

}  // namespace nx_impl

using namespace nx_impl;

// ARP messages from a link driver (interrupt context allowed): they wait for
// the instance's thread; an instance without ARP on its link drops them.
VOID _nx_arp_packet_deferred_receive(NX_IP* cb, NX_PACKET* packet) {
  constexpr size_t kQueued = 16;
  enter e;
  ip* i = find<ip>(cb);
  if (i) ++cb->nx_ip_frames_received;
  if (!packet) return;
  if (!i || i->dead || !i->arp || !cb->nx_ip_mapping_needed || !cb->nx_ip_driver_datagrams ||
      i->arp_link.in.size() >= kQueued) {
    if (i) ++cb->nx_ip_arp_frames_dropped;
    nx_packet_release(packet);
    return;
  }
  i->arp_link.in.push_back(packet);
  ip_wake(i);
}
