// Shared machinery of the IP stack stand-in: traces, the object registry,
// wait queues, start-up and shutdown.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <unordered_set>

#include "nx_internal.h"

namespace nx_impl {

namespace {

std::atomic<net_trace_printer> g_printer{nullptr};

// Never destroyed: host threads may still use the stack while the program
// exits.
std::unordered_map<const void*, std::unique_ptr<object>>& live() {
  static auto* m = new std::unordered_map<const void*, std::unique_ptr<object>>;
  return *m;
}

std::vector<std::unique_ptr<object>>& graveyard() {
  static auto* v = new std::vector<std::unique_ptr<object>>;
  return *v;
}

}  // namespace

void trace(const char* format, ...) {
  char line[200];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof line, format, args);
  va_end(args);
  net_trace_printer p = g_printer.load();
  if (p) {
    p(line);
  } else {
    fputs(line, stderr);
    fflush(stderr);
  }
}

std::string address_text(ULONG a) {
  char text[16];
  snprintf(text, sizeof text, "%u.%u.%u.%u", (unsigned)(a >> 24), (unsigned)(a >> 16) & 255u,
           (unsigned)(a >> 8) & 255u, (unsigned)a & 255u);
  return text;
}

void registry_add(const void* cb, std::unique_ptr<object> o) { live()[cb] = std::move(o); }

object* registry_find(const void* cb) {
  if (!cb) return nullptr;
  auto it = live().find(cb);
  return it == live().end() ? nullptr : it->second.get();
}

void registry_retire(const void* cb) {
  auto it = live().find(cb);
  if (it == live().end()) return;
  it->second->dead = true;
  graveyard().push_back(std::move(it->second));
  live().erase(it);
}

namespace {

std::atomic<uint64_t> g_generation{0};

std::unordered_map<const TX_THREAD*, std::unique_ptr<wait_slot>>& slots() {
  static auto* m = new std::unordered_map<const TX_THREAD*, std::unique_ptr<wait_slot>>;
  return *m;
}

}  // namespace

wait_slot* thread_slot() {
  TX_THREAD* self = tx_thread_identify();
  if (!self) return nullptr;
  auto& slot = slots()[self];
  if (!slot) {
    slot = std::make_unique<wait_slot>();
    tx_semaphore_create(&slot->sem, "nx wait", 0);
  }
  return slot.get();
}

UINT waitq::wait(wait_slot& slot, ULONG ticks) {
  uint64_t generation = g_generation.load();
  m_list.push_back(&slot);
  UINT status = tx_semaphore_get(&slot.sem, ticks);
  if (g_generation.load() != generation) return TX_DELETED;
  // A waker takes the whole list before it puts: the slot may no longer be listed.
  m_list.erase(std::remove(m_list.begin(), m_list.end(), &slot), m_list.end());
  return status;
}

void waitq::wake_all() {
  std::vector<wait_slot*> list;
  list.swap(m_list);
  for (wait_slot* s : list) tx_semaphore_put(&s->sem);
}

namespace {

std::mutex g_backends_lock;

std::unordered_set<backend*>& backends() {
  static auto* s = new std::unordered_set<backend*>;
  return *s;
}

}  // namespace

void backend_born(backend* b) {
  std::lock_guard<std::mutex> lk(g_backends_lock);
  backends().insert(b);
}

void backend_gone(backend* b) {
  std::lock_guard<std::mutex> lk(g_backends_lock);
  backends().erase(b);
}

udp_watch::udp_watch(ip* owner, uint64_t id) : m_owner(owner), m_be(owner->be.get()), m_id(id) {}

int udp_watch::begin() {
  std::lock_guard<std::mutex> lk(g_backends_lock);
  return backends().count(m_be) ? m_be->watch_begin(m_id) : -1;
}

bool udp_watch::end(bool readable) {
  std::lock_guard<std::mutex> lk(g_backends_lock);
  if (backends().count(m_be)) m_be->watch_end(m_id, readable, m_got);
  return !m_got.empty();
}

void udp_watch::interrupt() {
  {
    // The processor is held: an instance whose back-end still exists stays
    // until this returns.
    std::lock_guard<std::mutex> lk(g_backends_lock);
    if (!backends().count(m_be)) {
      m_got.clear();
      return;
    }
  }
  deliver(m_owner, std::move(m_got));
  m_got.clear();
}

std::vector<ip*> all_instances() {
  std::vector<ip*> v;
  for (auto& [cb, o] : live())
    if (auto* i = as<ip>(o.get())) v.push_back(i);
  for (auto& o : graveyard())
    if (auto* i = as<ip>(o.get())) v.push_back(i);
  return v;
}

}  // namespace nx_impl

using namespace nx_impl;

VOID nx_system_initialize(VOID) {}

void net_host_set_trace(net_trace_printer printer) { g_printer.store(printer); }

void net_host_shutdown() {
  std::vector<backend*> backends;
  {
    enter e;
    for (ip* i : all_instances()) {
      if (!i->be) continue;
      i->be->stop();
      backends.push_back(i->be.get());
    }
  }
  // The host threads may be waiting to raise an interrupt: let them finish
  // without holding the processor.
  for (backend* b : backends) b->join();
  enter e;
  // An instance's thread may have been pre-empted in the middle of its work:
  // end it (and wait for its host thread) before its state is freed.
  for (ip* i : all_instances()) {
    tx_thread_terminate(&i->cb->nx_ip_thread);
    tx_thread_delete(&i->cb->nx_ip_thread);
  }
  ++g_generation;
  live().clear();
  graveyard().clear();
  slots().clear();
  instances_clear();
  config_release_held();
}
