// Host threads of kernel threads, each on a stack of its own whose top part
// is painted, so that the deepest use of the stack can be measured and shown
// in the stack its creator gave (the host thread cannot run on that one: the
// host's libraries need far more than the firmware's sizes).
#include <sys/mman.h>

#include <algorithm>
#include <cstring>

#include "kernel_internal.h"

namespace rtos_impl {

namespace {

constexpr size_t kHostStack = 8u << 20;  // as a host thread's default
constexpr size_t kPage = 4096;
constexpr size_t kPaintedMin = 64u << 10;
constexpr uint8_t kPaint = 0xEF;

struct start_args {
  void (*fn)(thread*);
  thread* arg;
};

void* trampoline(void* p) {
  start_args a = *static_cast<start_args*>(p);
  delete static_cast<start_args*>(p);
  a.fn(a.arg);
  return nullptr;
}

}  // namespace

host_thread::host_thread(host_thread&& o) noexcept { *this = std::move(o); }

host_thread& host_thread::operator=(host_thread&& o) noexcept {
  if (this != &o) {
    release();
    m_id = o.m_id;
    m_running = o.m_running;
    m_map = o.m_map;
    m_painted = o.m_painted;
    o.m_running = false;
    o.m_map = nullptr;
    o.m_painted = nullptr;
  }
  return *this;
}

host_thread::~host_thread() {
  // Never left running: the kernel joins every thread it started.
  if (m_running) join();
  release();
}

void host_thread::release() {
  if (m_map) munmap(m_map, kHostStack);
  m_map = nullptr;
  m_painted = nullptr;
}

bool host_thread::start(void (*fn)(thread*), thread* arg, size_t watched) {
  void* map = mmap(nullptr, kHostStack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK,
                   -1, 0);
  if (map == MAP_FAILED) return false;
  m_map = static_cast<uint8_t*>(map);
  mprotect(m_map, kPage, PROT_NONE);  // overflow faults instead of writing elsewhere
  // The painted part holds the deepest use that can be told apart from the
  // size given (room above it for the thread's own start).
  size_t painted = std::min(std::max(kPaintedMin, watched + kPaintedMin), kHostStack / 2);
  m_painted = m_map + kHostStack - painted;
  std::memset(m_painted, kPaint, painted);
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstack(&attr, m_map, kHostStack);
  auto* args = new start_args{fn, arg};
  bool ok = pthread_create(&m_id, &attr, trampoline, args) == 0;
  pthread_attr_destroy(&attr);
  if (!ok) {
    delete args;
    release();
    return false;
  }
  m_running = true;
  return true;
}

void host_thread::join() {
  if (!m_running) return;
  pthread_join(m_id, nullptr);
  m_running = false;
  release();
}

// Reads below the running code's frames, which the sanitizer would take for
// an overrun; only the paint is compared.
__attribute__((no_sanitize_address)) size_t host_thread::deepest(uintptr_t top) const {
  if (!m_painted) return 0;
  const uint8_t* p = m_painted;
  const uint8_t* end = reinterpret_cast<const uint8_t*>(top);
  if (end <= p) return 0;
  // Measured at each wake: eight bytes a step where the paint lasts.
  while (p < end && (reinterpret_cast<uintptr_t>(p) & 7) != 0 && *p == kPaint) ++p;
  constexpr uint64_t kPaintWord = 0x0101010101010101ull * kPaint;
  for (uint64_t w; p + 8 <= end; p += 8) {
    std::memcpy(&w, p, 8);
    if (w != kPaintWord) break;
  }
  while (p < end && *p == kPaint) ++p;
  return static_cast<size_t>(end - p);
}

void note_stack_use(thread* t) {
  kernel* k = g_kernel;
  if (!k || !t->cb || t->stack_top == 0 || t->measured_tick == now_tick(k)) return;
  t->measured_tick = now_tick(k);
  size_t depth = t->host.deepest(t->stack_top);
  if (depth <= t->stack_base + t->deepest) return;
  size_t used = depth - t->stack_base;
  t->deepest = used;
  // The creator's stack shows the use as the firmware's would: the bytes
  // from its top down to the deepest point no longer hold the fill.
  auto* given = static_cast<uint8_t*>(t->cb->stack_start);
  size_t size = t->cb->stack_size;
  if (!given || size == 0) return;
  given[size - std::min(used, size)] = 0;
}

}  // namespace rtos_impl
