// Packet pools: fixed-size packets carved from memory the caller gives, as
// the board's pools are. Each packet is its header followed by its payload
// area; the pool really runs out, and waiting allocations are woken by
// releases.
#include <algorithm>
#include <cstring>

#include "nx_internal.h"

namespace nx_impl {

namespace {

constexpr uintptr_t kAlign = 16;

uintptr_t round_up(uintptr_t v) { return (v + kAlign - 1) & ~(kAlign - 1); }

// Index of a packet in its pool, or -1 when the pointer is not one of its
// packets.
long index_of(pool* p, NX_PACKET* packet) {
  auto* at = reinterpret_cast<uint8_t*>(packet);
  if (at < p->base) return -1;
  uintptr_t off = static_cast<uintptr_t>(at - p->base);
  if (off % p->stride != 0 || off / p->stride >= p->count) return -1;
  return static_cast<long>(off / p->stride);
}

void init_packet(pool* p, NX_PACKET* packet, ULONG header_room) {
  packet->nx_packet_pool_owner = p->cb;
  packet->nx_packet_queue_next = NX_PACKET_NOT_QUEUED;
  packet->nx_packet_next = nullptr;
  packet->nx_packet_data_start = reinterpret_cast<UCHAR*>(packet) + sizeof(NX_PACKET);
  packet->nx_packet_data_end = packet->nx_packet_data_start + p->cb->nx_packet_pool_payload_size;
  packet->nx_packet_prepend_ptr = packet->nx_packet_data_start + header_room;
  packet->nx_packet_append_ptr = packet->nx_packet_prepend_ptr;
  packet->nx_packet_length = 0;
  packet->nx_packet_reserved = 0;
}

// Returns one packet (not its chain) to its pool.
UINT release_one(NX_PACKET* packet) {
  pool* p = pool_of(packet);
  if (!p) return NX_INVALID_PACKET;
  long i = index_of(p, packet);
  if (!p->allocated[i]) return NX_ALREADY_RELEASED;
  p->allocated[i] = 0;
  p->free_list.push_back(packet);
  p->cb->nx_packet_pool_available = static_cast<ULONG>(p->free_list.size());
  return NX_SUCCESS;
}

void after_release(pool* p) {
  if (!p->starved.empty()) {
    std::vector<ip*> starved;
    starved.swap(p->starved);
    for (ip* i : starved) {
      if (i->dead) continue;
      i->retry = true;
      ip_wake(i);
    }
  }
  p->waiters.wake_all();
}

UINT release_chain(NX_PACKET* packet) {
  if (!packet) return NX_PTR_ERROR;
  enter e;
  pool* first = pool_of(packet);
  if (!first) return NX_INVALID_PACKET;
  std::vector<pool*> touched;
  UINT status = NX_SUCCESS;
  for (NX_PACKET* at = packet; at;) {
    // Read the link before the packet is free for others.
    NX_PACKET* next = at->nx_packet_next;
    pool* p = pool_of(at);
    UINT s = release_one(at);
    if (s != NX_SUCCESS) {
      status = s;
      break;
    }
    if (std::find(touched.begin(), touched.end(), p) == touched.end()) touched.push_back(p);
    at = next;
  }
  for (pool* p : touched) after_release(p);
  return status;
}

UINT allocate(NX_PACKET_POOL* cb, NX_PACKET** packet, ULONG packet_type, ULONG wait_option) {
  if (!packet) return NX_PTR_ERROR;
  *packet = nullptr;
  enter e;
  pool* p = find<pool>(cb);
  if (!p) return NX_PTR_ERROR;
  if (packet_type > cb->nx_packet_pool_payload_size) return NX_OPTION_ERROR;
  bool counted = false;
  return wait_loop(
      wait_option, NX_NO_PACKET,
      [cb]() -> waitq* {
        pool* q = find<pool>(cb);
        return q ? &q->waiters : nullptr;
      },
      [&]() -> UINT {
        pool* q = find<pool>(cb);
        if (!q) return NX_DELETED;
        if (q->free_list.empty() && counted) return NX_IN_PROGRESS;
        counted = true;
        *packet = pool_take(q, packet_type);
        return *packet ? NX_SUCCESS : NX_IN_PROGRESS;
      });
}

}  // namespace

pool* pool_of(NX_PACKET* packet) {
  if (!packet) return nullptr;
  // The owner's control block leads to its pool (cleared when deleted).
  NX_PACKET_POOL* cb = packet->nx_packet_pool_owner;
  pool* p = cb ? cb->impl : nullptr;
  if (!p || p->cb != cb || index_of(p, packet) < 0) return nullptr;
  return p;
}

NX_PACKET* pool_take(pool* p, ULONG header_room) {
  if (p->free_list.empty()) {
    ++p->cb->nx_packet_pool_empty_requests;
    return nullptr;
  }
  // Oldest free packet first, so a released packet is not reused at once.
  NX_PACKET* packet = p->free_list.front();
  p->free_list.erase(p->free_list.begin());
  p->allocated[index_of(p, packet)] = 1;
  p->cb->nx_packet_pool_available = static_cast<ULONG>(p->free_list.size());
  init_packet(p, packet, header_room);
  return packet;
}

std::vector<uint8_t> chain_bytes(NX_PACKET* packet) {
  std::vector<uint8_t> out;
  for (NX_PACKET* at = packet; at; at = at->nx_packet_next)
    out.insert(out.end(), at->nx_packet_prepend_ptr, at->nx_packet_append_ptr);
  return out;
}

UINT chain_check(NX_PACKET* packet, ULONG room) {
  if (!packet) return NX_PTR_ERROR;
  ULONG total = 0;
  int n = 0;
  for (NX_PACKET* at = packet; at; at = at->nx_packet_next) {
    pool* p = pool_of(at);
    if (!p || !p->allocated[index_of(p, at)] || ++n > 100000) return NX_INVALID_PACKET;
    if (at->nx_packet_prepend_ptr < at->nx_packet_data_start ||
        at->nx_packet_append_ptr < at->nx_packet_prepend_ptr ||
        at->nx_packet_append_ptr > at->nx_packet_data_end)
      return NX_INVALID_PACKET;
    total += static_cast<ULONG>(at->nx_packet_append_ptr - at->nx_packet_prepend_ptr);
  }
  if (total != packet->nx_packet_length) return NX_INVALID_PACKET;
  if (static_cast<ULONG>(packet->nx_packet_prepend_ptr - packet->nx_packet_data_start) < room)
    return NX_UNDERFLOW;
  return NX_SUCCESS;
}

}  // namespace nx_impl

using namespace nx_impl;

UINT nx_packet_pool_create(NX_PACKET_POOL* cb, const CHAR* name, ULONG payload_size, VOID* memory,
                           ULONG memory_size) {
  if (!cb || !memory) return NX_PTR_ERROR;
  enter e;
  if (registry_find(cb)) return NX_ALREADY_CREATED;
  payload_size = static_cast<ULONG>((payload_size + 3) & ~3ul);
  if (payload_size == 0) return NX_SIZE_ERROR;
  auto p = std::make_unique<pool>();
  uintptr_t start = reinterpret_cast<uintptr_t>(memory);
  uintptr_t aligned = round_up(start);
  ULONG usable = aligned - start >= memory_size ? 0 : static_cast<ULONG>(memory_size - (aligned - start));
  p->stride = static_cast<ULONG>(round_up(sizeof(NX_PACKET) + payload_size));
  p->count = usable / p->stride;
  if (p->count == 0) return NX_SIZE_ERROR;
  p->cb = cb;
  p->base = reinterpret_cast<uint8_t*>(aligned);
  p->allocated.assign(p->count, 0);
  for (ULONG i = 0; i < p->count; ++i) {
    auto* packet = reinterpret_cast<NX_PACKET*>(p->base + i * p->stride);
    std::memset(packet, 0, sizeof(NX_PACKET));
    packet->nx_packet_pool_owner = cb;
    p->free_list.push_back(packet);
  }
  cb->nx_packet_pool_name = name;
  cb->nx_packet_pool_start = memory;
  cb->nx_packet_pool_size = memory_size;
  cb->nx_packet_pool_payload_size = payload_size;
  cb->nx_packet_pool_total = p->count;
  cb->nx_packet_pool_available = p->count;
  cb->nx_packet_pool_empty_requests = 0;
  cb->impl = p.get();
  registry_add(cb, std::move(p));
  return NX_SUCCESS;
}

UINT nx_packet_pool_delete(NX_PACKET_POOL* cb) {
  enter e;
  pool* p = find<pool>(cb);
  if (!p) return NX_PTR_ERROR;
  registry_retire(cb);
  p->waiters.wake_all();
  cb->impl = nullptr;
  return NX_SUCCESS;
}

UINT nx_packet_allocate(NX_PACKET_POOL* pool, NX_PACKET** packet, ULONG packet_type, ULONG wait_option) {
  return allocate(pool, packet, packet_type, wait_option);
}

UINT _nx_packet_allocate(NX_PACKET_POOL* pool, NX_PACKET** packet, ULONG packet_type, ULONG wait_option) {
  return allocate(pool, packet, packet_type, wait_option);
}

UINT nx_packet_release(NX_PACKET* packet) { return release_chain(packet); }
UINT _nx_packet_release(NX_PACKET* packet) { return release_chain(packet); }
UINT nx_packet_transmit_release(NX_PACKET* packet) { return release_chain(packet); }
UINT _nx_packet_transmit_release(NX_PACKET* packet) { return release_chain(packet); }

UINT nx_packet_data_append(NX_PACKET* packet, const VOID* data, ULONG size, NX_PACKET_POOL* pool_cb,
                           ULONG wait_option) {
  if (!packet || (!data && size)) return NX_PTR_ERROR;
  enter e;
  if (!pool_of(packet)) return NX_INVALID_PACKET;
  if (!find<pool>(pool_cb)) return NX_PTR_ERROR;
  NX_PACKET* last = packet;
  while (last->nx_packet_next) last = last->nx_packet_next;
  ULONG room = static_cast<ULONG>(last->nx_packet_data_end - last->nx_packet_append_ptr);
  // Take every further packet first, so a failed append changes nothing.
  std::vector<NX_PACKET*> extra;
  ULONG have = room;
  while (have < size) {
    NX_PACKET* more = nullptr;
    UINT s = nx_packet_allocate(pool_cb, &more, NX_RECEIVE_PACKET, wait_option);
    if (s != NX_SUCCESS) {
      for (NX_PACKET* x : extra) release_chain(x);
      return s;
    }
    extra.push_back(more);
    have += static_cast<ULONG>(more->nx_packet_data_end - more->nx_packet_data_start);
  }
  auto* src = static_cast<const UCHAR*>(data);
  ULONG left = size;
  ULONG n = std::min(room, left);
  if (n) std::memcpy(last->nx_packet_append_ptr, src, n);
  last->nx_packet_append_ptr += n;
  src += n;
  left -= n;
  for (NX_PACKET* more : extra) {
    n = std::min(static_cast<ULONG>(more->nx_packet_data_end - more->nx_packet_prepend_ptr), left);
    std::memcpy(more->nx_packet_append_ptr, src, n);
    more->nx_packet_append_ptr += n;
    src += n;
    left -= n;
    last->nx_packet_next = more;
    last = more;
  }
  packet->nx_packet_length += size;
  return NX_SUCCESS;
}

UINT nx_packet_data_retrieve(NX_PACKET* packet, VOID* buffer, ULONG* bytes_copied) {
  if (!packet || !buffer || !bytes_copied) return NX_PTR_ERROR;
  return nx_packet_data_copy(packet, 0, buffer, packet->nx_packet_length, bytes_copied);
}

UINT nx_packet_data_copy(NX_PACKET* packet, ULONG offset, VOID* buffer, ULONG size, ULONG* bytes_copied) {
  if (!packet || (!buffer && size) || !bytes_copied) return NX_PTR_ERROR;
  *bytes_copied = 0;
  enter e;
  if (!pool_of(packet)) return NX_INVALID_PACKET;
  auto* out = static_cast<UCHAR*>(buffer);
  ULONG copied = 0;
  for (NX_PACKET* at = packet; at && copied < size; at = at->nx_packet_next) {
    if (at->nx_packet_append_ptr < at->nx_packet_prepend_ptr) return NX_INVALID_PACKET;
    ULONG len = static_cast<ULONG>(at->nx_packet_append_ptr - at->nx_packet_prepend_ptr);
    if (offset >= len) {
      offset -= len;
      continue;
    }
    ULONG n = std::min(len - offset, size - copied);
    std::memcpy(out + copied, at->nx_packet_prepend_ptr + offset, n);
    copied += n;
    offset = 0;
  }
  *bytes_copied = copied;
  return NX_SUCCESS;
}

UINT nx_packet_length_get(NX_PACKET* packet, ULONG* length) {
  if (!packet || !length) return NX_PTR_ERROR;
  *length = packet->nx_packet_length;
  return NX_SUCCESS;
}
