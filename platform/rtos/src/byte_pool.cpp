// Byte pools: first-fit allocators over a block the caller gives. Each block
// starts with a header (the next block's address and the owning pool, or 0
// when free); a header-only sentinel ends the chain. Under AddressSanitizer
// the headers and the free space are poisoned, so an overrun of a pool block
// is reported like one of a heap block.
#include <cstring>

#include "kernel_internal.h"

#if defined(RTOS_POOLS_POISONED)
#include <sanitizer/asan_interface.h>
#define POOL_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define POOL_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define POOL_POISON(p, n) ((void)(p), (void)(n))
#define POOL_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace rtos_impl {
namespace {

constexpr uintptr_t kAlign = 16;
constexpr uintptr_t kHeader = 16;
constexpr uintptr_t kFree = 0;
constexpr uintptr_t kSentinel = 1;

struct header {
  uint8_t* next;
  uintptr_t owner;  // byte_pool*, kFree or kSentinel
};
static_assert(sizeof(header) == kHeader);

header get(uint8_t* at) {
  header h;
  POOL_UNPOISON(at, kHeader);
  std::memcpy(&h, at, kHeader);
  POOL_POISON(at, kHeader);
  return h;
}

void put(uint8_t* at, const header& h) {
  POOL_UNPOISON(at, kHeader);
  std::memcpy(at, &h, kHeader);
  POOL_POISON(at, kHeader);
}

uintptr_t round_up(uintptr_t v) { return (v + kAlign - 1) & ~(kAlign - 1); }

ULONG payload(uint8_t* at, const header& h) { return static_cast<ULONG>(h.next - at - kHeader); }

// First fit from the start; merges runs of free blocks on the way.
void* try_allocate(byte_pool* p, ULONG size) {
  uintptr_t need = round_up(size ? size : 1);
  TX_BYTE_POOL* cb = p->cb;
  for (uint8_t* at = p->start;;) {
    header h = get(at);
    if (h.owner == kSentinel) return nullptr;
    if (h.owner != kFree) {
      at = h.next;
      continue;
    }
    for (header n = get(h.next); n.owner == kFree; n = get(h.next)) {
      h.next = n.next;
      --cb->fragments;
      cb->available += kHeader;
    }
    put(at, h);
    ULONG have = payload(at, h);
    if (have >= need) {
      if (have - need >= kHeader + kAlign) {
        uint8_t* rest = at + kHeader + need;
        put(rest, header{h.next, kFree});
        h.next = rest;
        ++cb->fragments;
        cb->available -= static_cast<ULONG>(need + kHeader);
      } else {
        cb->available -= have;
      }
      h.owner = reinterpret_cast<uintptr_t>(p);
      put(at, h);
      POOL_UNPOISON(at + kHeader, size);
      return at + kHeader;
    }
    at = h.next;
  }
}

}  // namespace

void pool_retry_waiters(lock& lk, byte_pool* p) {
  for (size_t i = 0; i < p->waiters.size();) {
    thread* w = p->waiters[i];
    if (void* mem = try_allocate(p, w->alloc_size)) {
      w->alloc_result = mem;
      wake(lk, w, TX_SUCCESS);
    } else {
      ++i;
    }
  }
}

}  // namespace rtos_impl

using namespace rtos_impl;

UINT tx_byte_pool_create(TX_BYTE_POOL* cb, const CHAR* name, VOID* start, ULONG size) {
  entry e;
  if (!g_kernel) return TX_CALLER_ERROR;
  if (!cb || object_of<byte_pool>(cb, okind::byte_pool)) return TX_POOL_ERROR;
  if (!start) return TX_PTR_ERROR;
  uint8_t* first = reinterpret_cast<uint8_t*>(round_up(reinterpret_cast<uintptr_t>(start)));
  uint8_t* end = static_cast<uint8_t*>(start) + size;
  if (end < first + 3 * kHeader + kAlign) return TX_SIZE_ERROR;
  uint8_t* sentinel = reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(end - kHeader) & ~(kAlign - 1));
  byte_pool* p = add_object<byte_pool>(cb);
  p->start = first;
  p->size = size;
  POOL_POISON(start, size);
  put(first, header{sentinel, kFree});
  put(sentinel, header{nullptr, kSentinel});
  cb->name = name;
  cb->start = start;
  cb->size = size;
  cb->available = static_cast<ULONG>(sentinel - first - kHeader);
  cb->fragments = 2;
  return TX_SUCCESS;
}

UINT tx_byte_pool_delete(TX_BYTE_POOL* cb) {
  entry e;
  byte_pool* p = object_of<byte_pool>(cb, okind::byte_pool);
  if (!p) return TX_POOL_ERROR;
  for (thread* w : p->waiters) w->alloc_result = nullptr;
  while (!p->waiters.empty()) wake(e.lk, p->waiters.front(), TX_DELETED);
  POOL_UNPOISON(cb->start, cb->size);
  cb->impl = nullptr;
  remove_object(p);
  check_preempt(e.lk);
  return TX_SUCCESS;
}

UINT tx_byte_allocate(TX_BYTE_POOL* cb, VOID** memory, ULONG size, ULONG wait_option) {
  entry e;
  byte_pool* p = object_of<byte_pool>(cb, okind::byte_pool);
  if (!p) return TX_POOL_ERROR;
  if (!memory) return TX_PTR_ERROR;
  *memory = nullptr;
  if (size == 0 || size > p->size) return TX_SIZE_ERROR;
  if (wait_option != TX_NO_WAIT && !can_wait()) return TX_WAIT_ERROR;
  if (void* mem = try_allocate(p, size)) {
    *memory = mem;
    return TX_SUCCESS;
  }
  if (wait_option == TX_NO_WAIT) return TX_NO_MEMORY;
  thread* self = t_self;
  self->alloc_size = size;
  self->alloc_result = nullptr;
  p->waiters.push_back(self);
  UINT status = block(e.lk, wait_kind::pool, p, wait_option);
  if (status == TX_SUCCESS) *memory = self->alloc_result;
  return status;
}

UINT tx_byte_release(VOID* memory) {
  entry e;
  if (!memory || !g_kernel) return TX_PTR_ERROR;
  uint8_t* at = static_cast<uint8_t*>(memory) - kHeader;
  if (reinterpret_cast<uintptr_t>(memory) % kAlign != 0) return TX_PTR_ERROR;
  // The header names the pool; only trust it when that pool is live and the
  // block lies inside it.
  byte_pool* p = nullptr;
  for (auto& [impl, obj] : g_kernel->objects) {
    if (obj->kind != okind::byte_pool) continue;
    auto* cand = static_cast<byte_pool*>(obj.get());
    if (at >= cand->start && at < cand->start + cand->size) {
      p = cand;
      break;
    }
  }
  if (!p) return TX_PTR_ERROR;
  // Only a block start of this pool is released; anything else is refused
  // without touching the memory.
  header h{};
  for (uint8_t* walk = p->start;; walk = h.next) {
    h = get(walk);
    if (h.owner == kSentinel) return TX_PTR_ERROR;
    if (walk == at) break;
  }
  if (h.owner != reinterpret_cast<uintptr_t>(p)) return TX_PTR_ERROR;
  ULONG have = payload(at, h);
  POOL_POISON(at + kHeader, have);
  h.owner = kFree;
  put(at, h);
  p->cb->available += have;
  pool_retry_waiters(e.lk, p);
  check_preempt(e.lk);
  return TX_SUCCESS;
}

UINT tx_byte_pool_info_get(TX_BYTE_POOL* cb, const CHAR** name, ULONG* available, ULONG* fragments) {
  entry e;
  byte_pool* p = object_of<byte_pool>(cb, okind::byte_pool);
  if (!p) return TX_POOL_ERROR;
  if (name) *name = cb->name;
  if (available) *available = cb->available;
  if (fragments) *fragments = cb->fragments;
  return TX_SUCCESS;
}
