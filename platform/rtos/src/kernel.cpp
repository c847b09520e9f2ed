// Scheduler, threads and host contexts of the kernel stand-in.
#include <linux/futex.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>

#include "kernel_internal.h"

namespace rtos_impl {

kernel* g_kernel = nullptr;
thread_local thread* t_self = nullptr;
thread_local int t_foreign_depth = 0;
thread_local bool t_foreign_posture_enabled = false;

// ---------------------------------------------------------------- gates

namespace {

long futex(std::atomic<int>* word, int op, int value) {
  return syscall(SYS_futex, reinterpret_cast<int*>(word), op, value, nullptr, nullptr, 0);
}

// Gates to post when this host thread lets go of the kernel lock.
thread_local std::vector<std::shared_ptr<gate>> t_posts;

}  // namespace

gate::~gate() {
  if (m_event >= 0) ::close(m_event);
}

void gate::post() {
  const int was = m_state.exchange(1, std::memory_order_acq_rel);
  if (was == 2) {
    futex(&m_state, FUTEX_WAKE_PRIVATE, 1);
  } else if (was == 3) {
    uint64_t one = 1;
    (void)!write(m_event.load(std::memory_order_relaxed), &one, sizeof one);
  }
}

bool gate::wait_watching(int fd, const std::chrono::steady_clock::time_point* until) {
  int expected = 1;
  if (m_state.compare_exchange_strong(expected, 0, std::memory_order_acquire)) return false;
  if (m_event.load(std::memory_order_relaxed) < 0)
    m_event.store(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC), std::memory_order_relaxed);
  const int event = m_event.load(std::memory_order_relaxed);
  if (event < 0) {
    if (until)
      wait_until(*until);
    else
      wait();
    return false;
  }
  expected = 0;
  if (!m_state.compare_exchange_strong(expected, 3, std::memory_order_acq_rel)) {
    m_state.store(0, std::memory_order_relaxed);  // posted meanwhile
    return false;
  }
  pollfd fds[2] = {{event, POLLIN, 0}, {fd, POLLIN, 0}};
  int wait_ms = -1;
  if (until) {
    // Rounded up: a wake before the deadline only waits again.
    const auto left = *until - std::chrono::steady_clock::now();
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    wait_ms = ms < 1 ? 0 : ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
  }
  const int n = poll(fds, 2, wait_ms);
  if (n > 0 && fds[0].revents) {
    // A post's write; one that comes after this read only makes a later
    // wait look again.
    uint64_t v;
    (void)!read(event, &v, sizeof v);
  }
  m_state.exchange(0, std::memory_order_acquire);
  return n > 0 && fds[1].revents != 0;
}

namespace {

// A wait that its post ends within this long is cheaper to spin through
// than to sleep through: a futex sleep and its wake cost the host more.
constexpr auto kSpin = std::chrono::microseconds(40);

inline void cpu_relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield" ::: "memory");
#endif
}

}  // namespace

// Out of line, as the clock reading is: a plain wait's frame stays as small
// as it was, since it is what the stand-in's own waiting takes of a stack.
__attribute__((noinline)) bool gate::spin_for_post() {
  m_spin_began = std::chrono::steady_clock::now();
  if (!m_quick) return false;
  for (unsigned i = 1;; ++i) {
    cpu_relax();
    int expected = 1;
    if (m_state.load(std::memory_order_relaxed) == 1 &&
        m_state.compare_exchange_strong(expected, 0, std::memory_order_acquire))
      return true;
    if (i % 64 == 0 && std::chrono::steady_clock::now() - m_spin_began > kSpin) break;
  }
  return false;
}

__attribute__((noinline)) void gate::note_spin_end() {
  m_quick = std::chrono::steady_clock::now() - m_spin_began <= kSpin;
}

void gate::wait(bool spin) {
  int expected = 1;
  if (m_state.compare_exchange_strong(expected, 0, std::memory_order_acquire)) return;
  // Spin only while these waits end soon, as a thread handing the processor
  // to another and back does; a long one sleeps at once.
  if (spin && spin_for_post()) return;
  for (;;) {
    // expected is 0 (empty) or 2 (asleep before): say the waiter sleeps.
    expected = 0;
    if (!m_state.compare_exchange_strong(expected, 2, std::memory_order_acquire) && expected == 1) {
      m_state.store(0, std::memory_order_relaxed);
      break;
    }
    futex(&m_state, FUTEX_WAIT_PRIVATE, 2);
    expected = 1;
    if (m_state.compare_exchange_strong(expected, 0, std::memory_order_acquire)) break;
  }
  if (spin) note_spin_end();
}

bool gate::wait_until(std::chrono::steady_clock::time_point when) {
  int expected = 1;
  if (m_state.compare_exchange_strong(expected, 0, std::memory_order_acquire)) return true;
  const auto since = when.time_since_epoch();
  const auto secs = std::chrono::duration_cast<std::chrono::seconds>(since);
  timespec at{};
  at.tv_sec = static_cast<time_t>(secs.count());
  at.tv_nsec = static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(since - secs).count());
  for (;;) {
    expected = 0;
    if (!m_state.compare_exchange_strong(expected, 2, std::memory_order_acquire) && expected == 1) {
      m_state.store(0, std::memory_order_relaxed);
      return true;
    }
    // The steady clock is the monotonic one; the time is absolute.
    const long r = syscall(SYS_futex, reinterpret_cast<int*>(&m_state), FUTEX_WAIT_BITSET_PRIVATE, 2, &at, nullptr,
                           FUTEX_BITSET_MATCH_ANY);
    expected = 1;
    if (m_state.compare_exchange_strong(expected, 0, std::memory_order_acquire)) return true;
    if (r != 0 && errno == ETIMEDOUT) {
      expected = 2;
      if (m_state.compare_exchange_strong(expected, 0, std::memory_order_acquire)) return false;
      m_state.store(0, std::memory_order_relaxed);  // posted meanwhile
      return true;
    }
  }
}

void guard::flush() {
  if (t_posts.empty()) return;
  for (auto& door : t_posts) door->post();
  t_posts.clear();
}

void post_after_unlock(const std::shared_ptr<gate>& door) { t_posts.push_back(door); }

namespace {

std::mutex g_life;  // serialises kernel_start and kernel_stop
std::deque<std::function<void()>> g_pending_isrs;

// ---------------------------------------------------------------- ready set

void ready_push(thread* t, bool front) {
  kernel* k = g_kernel;
  auto& q = k->ready[t->priority];
  if (front)
    q.push_front(t);
  else
    q.push_back(t);
  k->ready_bits |= 1u << t->priority;
}

void remove_ready(thread* t) {
  kernel* k = g_kernel;
  auto& q = k->ready[t->priority];
  q.erase(std::remove(q.begin(), q.end(), t), q.end());
  if (q.empty()) k->ready_bits &= ~(1u << t->priority);
}

// A thread is ready above the given preemption threshold.
bool ready_above(UINT threshold) {
  uint32_t mask = threshold >= 32 ? ~0u : (1u << threshold) - 1;
  return (g_kernel->ready_bits & mask) != 0;
}

void notify_idle(kernel* k) {
  if (k->idle_waiters > 0) k->idle_cv.notify_all();
}

void run(kernel* k, thread* t) {
  t->state = tstate::running;
  k->cpu = holder::thread;
  k->current = t;
  post_after_unlock(t->door);
}

void dispatch(lock& lk) {
  kernel* k = g_kernel;
  if (k->cpu != holder::none) return;
  if (!k->foreign_queue.empty()) {
    foreign_request* r = k->foreign_queue.front();
    k->foreign_queue.pop_front();
    k->attention.fetch_sub(1, std::memory_order_relaxed);
    r->granted = true;
    k->cpu = holder::foreign;
    post_after_unlock(r->door);
    return;
  }
  if (k->started && !k->stopping) {
    thread* back = k->interrupted;
    k->interrupted = nullptr;
    if (back && back->state == tstate::ready && !ready_above(back->threshold)) {
      remove_ready(back);
      run(k, back);
      return;
    }
    if (k->ready_bits) {
      UINT p = static_cast<UINT>(__builtin_ctz(k->ready_bits));
      auto& q = k->ready[p];
      thread* t = q.front();
      q.pop_front();
      if (q.empty()) k->ready_bits &= ~(1u << p);
      run(k, t);
      return;
    }
  }
  notify_idle(k);
}

void remove_timed(thread* t) {
  auto& v = g_kernel->timed_waits;
  v.erase(std::remove(v.begin(), v.end(), t), v.end());
  t->timed = false;
}

// Runs the interrupt of waiting thread t's watch on t's host thread: as an
// interrupt of t when the processor has meanwhile come back to t, else as
// any host context does.
void serve_watch(lock& lk, thread* t, rtos::wait_watch* w) {
  kernel* k = g_kernel;
  const bool own = k->cpu == holder::thread && k->current == t;
  if (!own) foreign_acquire(lk);
  ++t_foreign_depth;
  lk.unlock();
  w->interrupt();
  lk.lock();
  --t_foreign_depth;
  if (!own) foreign_release(lk);
}

std::chrono::steady_clock::time_point start_of(kernel* k, uint32_t n);

// The deadline of thread t's wait has come on its own host thread: the ticks
// up to now are processed there, as the tick thread would have.
void expire_own_deadline(lock& lk, thread* t, uint64_t seq) {
  kernel* k = g_kernel;
  if (k->stopping || t->state != tstate::waiting || !t->timed || t->timeout_seq != seq) return;
  const uint32_t now = now_tick(k);
  if (static_cast<int32_t>(now - t->deadline) < 0) return;  // the clock was set back
  foreign_acquire(lk);
  ++t_foreign_depth;
  catch_up(lk, k, now);
  --t_foreign_depth;
  foreign_release(lk);
}

// Waits until the calling kernel thread holds the processor again. A thread
// in a wait with a watch has its host thread watch the descriptor too, and
// one in a timed wait the deadline.
void wait_for_cpu(lock& lk, thread* t) {
  kernel* k = g_kernel;
  while (!(k->cpu == holder::thread && k->current == t)) {
    if (t->kill) throw thread_exit{};
    rtos::wait_watch* w = t->state == tstate::waiting ? t->watch : nullptr;
    const bool own = t->state == tstate::waiting && t->timed && t->own_deadline;
    const uint64_t seq = t->timeout_seq;
    // A deadline the processed ticks have passed (the clock was set) is
    // served at the next tick, when there is one to process.
    const uint32_t due = static_cast<int32_t>(t->deadline - k->tick) > 0 ? t->deadline : k->tick + 1;
    const auto when = own ? start_of(k, due) : std::chrono::steady_clock::time_point();
    const bool spin = t->spin && t->state == tstate::ready;
    lk.unlock();
    const int fd = w ? w->begin() : -1;
    if (fd < 0) {
      bool posted = true;
      if (own)
        posted = t->door->wait_until(when);
      else
        t->door->wait(spin);
      lk.lock();
      if (!posted) expire_own_deadline(lk, t, seq);
      continue;
    }
    const bool readable = t->door->wait_watching(fd, own ? &when : nullptr);
    const bool work = w->end(readable);
    lk.lock();
    if (work && !t->kill) serve_watch(lk, t, w);
    if (own) expire_own_deadline(lk, t, seq);  // nothing unless it is due
  }
  if (t->kill) throw thread_exit{};
}

// Gives up the processor; the caller has already set its own state.
void give_up_cpu(lock& lk, thread* t) {
  kernel* k = g_kernel;
  // A thread preempted twice with no wait in between has work queued up:
  // it spins for the processor, which comes back soon. One that waits once
  // its preemption ends gains nothing by getting back early.
  const bool preempted = t->state == tstate::ready;
  t->spin = preempted && t->preempted_last;
  t->preempted_last = preempted;
  k->cpu = holder::none;
  k->current = nullptr;
  dispatch(lk);
  wait_for_cpu(lk, t);
  t->state = tstate::running;
}

void run_pending_isrs(lock& lk) {
  while (!g_pending_isrs.empty()) {
    auto isr = std::move(g_pending_isrs.front());
    g_pending_isrs.pop_front();
    ++t_foreign_depth;
    lk.unlock();
    isr();
    lk.lock();
    --t_foreign_depth;
  }
}

void thread_main(thread* t) {
  t_self = t;
  // The creator's control block may be gone before this thread first runs.
  pthread_setname_np(pthread_self(), t->host_name);
  kernel* k = g_kernel;
  bool ran = false;
  t->stack_top = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  try {
    {
      lock lk(k->m);
      wait_for_cpu(lk, t);
    }
    ran = true;
    // What the stand-in's own waiting took is not the thread's use.
    t->stack_base = t->host.deepest(t->stack_top);
    if (t->entry)
      t->entry(t->input);
    else if (t->host_entry)
      t->host_entry();
  } catch (thread_exit&) {
  }
  (void)ran;
  lock lk(k->m);
  unlink_wait(t);
  remove_timed(t);
  remove_ready(t);
  if (k->interrupted == t) k->interrupted = nullptr;
  mutex_release_all(lk, t);
  t->state = t->kill ? tstate::terminated : tstate::completed;
  if (t->cb && t->state == tstate::completed) {
    // keep the control block's view current
  }
  if (k->cpu == holder::thread && k->current == t) {
    k->cpu = holder::none;
    k->current = nullptr;
    dispatch(lk);
  }
  t->host_finished = true;
  notify_idle(k);
}

}  // namespace

bool is_thread() { return t_self != nullptr && t_foreign_depth == 0; }

namespace {

constexpr auto kTick = std::chrono::milliseconds(10);

int64_t steady_ticks() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
             .count() /
         kTick.count();
}

// Real clock: when tick `n` begins on the host's steady clock.
std::chrono::steady_clock::time_point start_of(kernel* k, uint32_t n) {
  int64_t ticks = steady_ticks() + static_cast<int32_t>(n - now_tick(k));
  return std::chrono::steady_clock::time_point(ticks * kTick);
}

void poke_ticker(kernel* k) {
  k->ticker_poked = true;
  k->ticker_cv.notify_one();
}

}  // namespace

uint32_t now_tick(kernel* k) {
  if (k->config.clock == rtos::clock_source::manual) return k->manual_tick.load(std::memory_order_relaxed);
  return static_cast<uint32_t>(steady_ticks() + k->tick_offset.load(std::memory_order_relaxed));
}

void note_due(lock&, uint32_t due) {
  kernel* k = g_kernel;
  if (k->config.clock != rtos::clock_source::real) return;
  if (k->ticker_idle || static_cast<int32_t>(due - k->ticker_due) < 0) {
    k->ticker_idle = false;
    k->ticker_due = due;
    poke_ticker(k);
  }
}

bool can_wait() { return is_thread() && g_kernel && g_kernel->started; }

void remove_object(const void* impl) { g_kernel->objects.erase(impl); }

void make_ready(lock&, thread* t, bool front) {
  t->state = tstate::ready;
  ready_push(t, front);
}

UINT block(lock& lk, wait_kind kind, void* object, ULONG wait_option) {
  kernel* k = g_kernel;
  thread* t = t_self;
  run_pending_isrs(lk);
  t->state = tstate::waiting;
  t->wait = kind;
  t->wait_object = object;
  t->wait_status = TX_SUCCESS;
  if (wait_option != TX_WAIT_FOREVER) {
    t->timed = true;
    t->deadline = now_tick(k) + wait_option;
    t->timeout_seq = ++k->seq;
    k->timed_waits.push_back(t);
    t->own_deadline = k->config.clock == rtos::clock_source::real;
    if (!t->own_deadline) note_due(lk, t->deadline);
  }
  give_up_cpu(lk, t);
  // On waking: what the thread did before the wait is in its stack's use.
  note_stack_use(t);
  return t->wait_status;
}

void wake(lock& lk, thread* t, UINT status) {
  unlink_wait(t);
  remove_timed(t);
  t->wait = wait_kind::none;
  t->wait_object = nullptr;
  t->wait_status = status;
  if (t->delayed_suspend) {
    t->delayed_suspend = false;
    t->state = tstate::suspended;
    return;
  }
  make_ready(lk, t);
}

void preempt_point(lock& lk) {
  kernel* k = g_kernel;
  thread* t = t_self;
  if (t->kill) throw thread_exit{};
  if (!t->posture_enabled) return;
  run_pending_isrs(lk);
  if (!k->foreign_queue.empty()) {
    make_ready(lk, t, true);
    k->interrupted = t;
    give_up_cpu(lk, t);
  }
  check_preempt(lk);
}

void check_preempt(lock& lk) {
  if (!is_thread()) return;
  kernel* k = g_kernel;
  thread* t = t_self;
  if (k->current != t) return;
  if (ready_above(t->threshold)) {
    make_ready(lk, t, true);
    give_up_cpu(lk, t);
  }
}

void foreign_acquire(lock& lk) {
  kernel* k = g_kernel;
  if (k->cpu == holder::none && k->foreign_queue.empty()) {
    k->cpu = holder::foreign;
    return;
  }
  // One door per host thread, kept for its life: its post may come after
  // the request is served.
  thread_local std::shared_ptr<gate> door = std::make_shared<gate>();
  foreign_request r;
  r.door = door;
  k->foreign_queue.push_back(&r);
  k->attention.fetch_add(1, std::memory_order_relaxed);
  while (!r.granted) {
    lk.unlock();
    door->wait();
    lk.lock();
  }
}

void foreign_release(lock& lk) {
  kernel* k = g_kernel;
  k->cpu = holder::none;
  dispatch(lk);
}

entry::entry() {
  kernel* k = g_kernel;
  if (!k) return;
  lk = lock(k->m);
  if (t_foreign_depth > 0) return;
  if (t_self) {
    preempt_point(lk);
    return;
  }
  foreign_acquire(lk);
  ++t_foreign_depth;
  foreign_acquired_ = true;
}

entry::~entry() {
  if (foreign_acquired_) {
    --t_foreign_depth;
    foreign_release(lk);
  }
}

thread* thread_of(TX_THREAD* cb) {
  if (!cb || !g_kernel || !cb->impl || !g_kernel->live_threads.count(cb->impl)) return nullptr;
  return cb->impl->cb == cb ? cb->impl : nullptr;
}

// Processes the ticks up to `now` in order; the ticks on which nothing is
// due are passed over at once.
void catch_up(lock& lk, kernel* k, uint32_t now) {
  while (!k->stopping && static_cast<int32_t>(now - k->tick) > 0) {
    uint32_t next = ticks_to_next_due(k);
    uint32_t gap = now - k->tick;
    if (next == 0 || next > gap) {
      k->tick = now;
      return;
    }
    k->tick += next - 1;
    process_tick(lk);
  }
}

}  // namespace rtos_impl

using namespace rtos_impl;

// ---------------------------------------------------------------- threads

UINT tx_thread_create(TX_THREAD* cb, const CHAR* name, VOID (*entry_fn)(ULONG), ULONG input,
                      VOID* stack_start, ULONG stack_size, UINT priority, UINT preempt_threshold,
                      ULONG time_slice, UINT auto_start) {
  entry e;
  if (!g_kernel) return TX_CALLER_ERROR;
  if (!cb) return TX_THREAD_ERROR;
  if (thread_of(cb)) return TX_THREAD_ERROR;
  if (!stack_start || !entry_fn) return TX_PTR_ERROR;
  if (stack_size < 200) return TX_SIZE_ERROR;
  if (priority >= TX_MAX_PRIORITIES) return TX_PRIORITY_ERROR;
  if (preempt_threshold > priority) return TX_THRESH_ERROR;
  if (auto_start > TX_AUTO_START) return TX_START_ERROR;
  std::memset(stack_start, 0xEF, stack_size);
  kernel* k = g_kernel;
  auto owned = std::make_unique<thread>();
  thread* t = owned.get();
  t->cb = cb;
  t->entry = entry_fn;
  t->input = input;
  t->base_priority = t->priority = priority;
  t->threshold = preempt_threshold;
  cb->name = name;
  std::strncpy(t->host_name, name ? name : "", sizeof t->host_name - 1);
  cb->stack_start = stack_start;
  cb->stack_size = stack_size;
  cb->priority = priority;
  cb->preempt_threshold = preempt_threshold;
  cb->time_slice = time_slice;
  cb->impl = t;
  // The host thread waits for the processor, which it gets only once the
  // kernel's lock is let go and it is dispatched.
  if (!t->host.start(thread_main, t, stack_size)) {
    cb->impl = nullptr;
    return TX_THREAD_ERROR;
  }
  k->live_threads.insert(t);
  k->threads.push_back(std::move(owned));
  if (auto_start == TX_AUTO_START)
    make_ready(e.lk, t);
  else
    t->state = tstate::suspended;
  check_preempt(e.lk);
  return TX_SUCCESS;
}

UINT tx_thread_delete(TX_THREAD* cb) {
  entry e;
  thread* t = thread_of(cb);
  if (!t) return TX_THREAD_ERROR;
  if (t->state != tstate::completed && t->state != tstate::terminated) return TX_DELETE_ERROR;
  kernel* k = g_kernel;
  k->live_threads.erase(t);
  // A thread ended while a host caller had interrupted it must not be
  // resumed once the caller lets go.
  if (k->interrupted == t) k->interrupted = nullptr;
  cb->impl = nullptr;
  host_thread host = std::move(t->host);
  e.lk.unlock();
  if (host.joinable()) host.join();
  e.lk.lock();
  k->threads.remove_if([t](const std::unique_ptr<thread>& p) { return p.get() == t; });
  return TX_SUCCESS;
}

TX_THREAD* tx_thread_identify(VOID) { return is_thread() ? t_self->cb : nullptr; }

UINT tx_thread_suspend(TX_THREAD* cb) {
  entry e;
  thread* t = thread_of(cb);
  if (!t) return TX_THREAD_ERROR;
  switch (t->state) {
    case tstate::completed:
    case tstate::terminated:
      return TX_SUSPEND_ERROR;
    case tstate::suspended:
      return TX_SUCCESS;
    case tstate::waiting:
      t->delayed_suspend = true;
      return TX_SUCCESS;
    case tstate::ready:
      remove_ready(t);
      t->state = tstate::suspended;
      return TX_SUCCESS;
    case tstate::running:
      if (t != t_self || !is_thread()) return TX_SUSPEND_ERROR;
      t->state = tstate::suspended;
      give_up_cpu(e.lk, t);
      return TX_SUCCESS;
  }
  return TX_SUSPEND_ERROR;
}

UINT tx_thread_resume(TX_THREAD* cb) {
  entry e;
  thread* t = thread_of(cb);
  if (!t) return TX_THREAD_ERROR;
  if (t->state == tstate::waiting && t->delayed_suspend) {
    t->delayed_suspend = false;
    return TX_SUSPEND_LIFTED;
  }
  if (t->state != tstate::suspended) return TX_RESUME_ERROR;
  make_ready(e.lk, t);
  check_preempt(e.lk);
  return TX_SUCCESS;
}

UINT tx_thread_sleep(ULONG ticks) {
  entry e;
  if (!can_wait()) return TX_CALLER_ERROR;
  if (ticks == 0) return TX_SUCCESS;
  return block(e.lk, wait_kind::sleep, nullptr, ticks);
}

UINT tx_thread_terminate(TX_THREAD* cb) {
  entry e;
  thread* t = thread_of(cb);
  if (!t) return TX_THREAD_ERROR;
  if (t->state == tstate::completed || t->state == tstate::terminated) return TX_SUCCESS;
  t->kill = true;
  if (t == t_self && is_thread()) throw thread_exit{};
  unlink_wait(t);
  remove_timed(t);
  remove_ready(t);
  if (g_kernel->interrupted == t) g_kernel->interrupted = nullptr;
  mutex_release_all(e.lk, t);
  t->state = tstate::terminated;
  post_after_unlock(t->door);
  return TX_SUCCESS;
}

UINT tx_thread_wait_abort(TX_THREAD* cb) {
  entry e;
  thread* t = thread_of(cb);
  if (!t) return TX_THREAD_ERROR;
  if (t->state != tstate::waiting) return TX_WAIT_ABORT_ERROR;
  t->delayed_suspend = false;
  wake(e.lk, t, TX_WAIT_ABORTED);
  check_preempt(e.lk);
  return TX_SUCCESS;
}

VOID tx_thread_relinquish(VOID) {
  entry e;
  if (!is_thread()) return;
  thread* t = t_self;
  make_ready(e.lk, t, false);
  give_up_cpu(e.lk, t);
}

static void reposition(lock& lk, thread* t, UINT new_priority) {
  if (t->state == tstate::ready) {
    remove_ready(t);
    t->priority = new_priority;
    make_ready(lk, t);
  } else {
    t->priority = new_priority;
  }
  if (t->cb) t->cb->priority = new_priority;
}

void rtos_impl::set_effective_priority(lock& lk, thread* t, UINT p) { reposition(lk, t, p); }

UINT tx_thread_priority_change(TX_THREAD* cb, UINT new_priority, UINT* old_priority) {
  entry e;
  thread* t = thread_of(cb);
  if (!t) return TX_THREAD_ERROR;
  if (new_priority >= TX_MAX_PRIORITIES) return TX_PRIORITY_ERROR;
  if (!old_priority) return TX_PTR_ERROR;
  *old_priority = t->base_priority;
  bool inherited = t->priority < t->base_priority;
  t->base_priority = new_priority;
  t->threshold = new_priority;
  if (t->cb) t->cb->preempt_threshold = new_priority;
  if (!inherited || new_priority < t->priority) reposition(e.lk, t, new_priority);
  check_preempt(e.lk);
  return TX_SUCCESS;
}

UINT tx_thread_preemption_change(TX_THREAD* cb, UINT new_threshold, UINT* old_threshold) {
  entry e;
  thread* t = thread_of(cb);
  if (!t) return TX_THREAD_ERROR;
  if (new_threshold > t->base_priority) return TX_THRESH_ERROR;
  if (!old_threshold) return TX_PTR_ERROR;
  *old_threshold = t->threshold;
  t->threshold = new_threshold;
  if (t->cb) t->cb->preempt_threshold = new_threshold;
  check_preempt(e.lk);
  return TX_SUCCESS;
}

// ---------------------------------------------------------------- time

ULONG tx_time_get(VOID) {
  kernel* k = g_kernel;
  if (!k) return 0;
  // A thread reading the time is where a waiting interrupt or host caller
  // gets the processor; otherwise the reading takes no lock.
  if (t_self && t_foreign_depth == 0 && k->attention.load(std::memory_order_relaxed) != 0) {
    entry e;
    return now_tick(k);
  }
  return now_tick(k);
}

VOID tx_time_set(ULONG ticks) {
  entry e;
  kernel* k = g_kernel;
  if (!k) return;
  k->tick = ticks;
  k->manual_tick.store(ticks, std::memory_order_relaxed);
  if (k->config.clock == rtos::clock_source::real) {
    k->tick_offset.store(static_cast<int64_t>(ticks) - steady_ticks(), std::memory_order_relaxed);
    poke_ticker(k);
    // Their deadlines fall at other host times now.
    for (thread* t : k->timed_waits)
      if (t->own_deadline) post_after_unlock(t->door);
  }
}

UINT tx_interrupt_control(UINT new_posture) {
  entry e;
  bool enable = new_posture == TX_INT_ENABLE;
  if (is_thread()) {
    thread* t = t_self;
    UINT old = t->posture_enabled ? TX_INT_ENABLE : TX_INT_DISABLE;
    t->posture_enabled = enable;
    if (enable && g_kernel) preempt_point(e.lk);
    return old;
  }
  UINT old = t_foreign_posture_enabled ? TX_INT_ENABLE : TX_INT_DISABLE;
  t_foreign_posture_enabled = enable;
  return old;
}

// ---------------------------------------------------------------- host side

namespace rtos {

namespace {

// True when something is due at or before tick `now`.
bool due_by(kernel* k, uint32_t now) {
  uint32_t next = ticks_to_next_due(k, true);
  return next != 0 && static_cast<int32_t>(now - k->tick) >= static_cast<int32_t>(next);
}

// The real clock's tick thread: asleep until the first timer or time-out is
// due (or one is armed before it), then fires what is due as an interrupt.
void ticker_main() {
  pthread_setname_np(pthread_self(), "tick");  // as the host's tools show it
  kernel* k = g_kernel;
  lock lk(k->m);
  while (!k->stopping) {
    uint32_t now = now_tick(k);
    if (due_by(k, now)) {
      foreign_acquire(lk);
      ++t_foreign_depth;
      catch_up(lk, k, now);
      --t_foreign_depth;
      foreign_release(lk);
      continue;
    }
    // Passed-over ticks are skipped, but not a time-out that its own thread
    // has yet to serve: its tick is still to be processed.
    const uint32_t any = ticks_to_next_due(k);
    const int32_t behind = static_cast<int32_t>(now - k->tick);
    if (behind > 0 && (any == 0 || behind < static_cast<int32_t>(any))) k->tick = now;
    uint32_t next = ticks_to_next_due(k, true);
    k->ticker_idle = next == 0;
    k->ticker_due = k->tick + next;
    k->ticker_poked = false;
    guard::flush();
    auto woken = [k] { return k->stopping || k->ticker_poked; };
    if (k->ticker_idle)
      k->ticker_cv.wait(lk.raw(), woken);
    else
      k->ticker_cv.wait_until(lk.raw(), start_of(k, k->ticker_due), woken);
  }
}

bool quiet(kernel* k) { return k->cpu == holder::none && k->foreign_queue.empty() && k->ready_bits == 0; }

// Waits on idle_cv until `done`.
template <class Done>
void wait_idle(lock& lk, kernel* k, Done done) {
  ++k->idle_waiters;
  guard::flush();
  k->idle_cv.wait(lk.raw(), done);
  --k->idle_waiters;
}

}  // namespace

void kernel_start(const kernel_config& config, const std::function<void(void*)>& define) {
  std::lock_guard<std::mutex> life(g_life);
  if (g_kernel) {
    std::fprintf(stderr, "rtos: kernel_start while a kernel runs\n");
    std::abort();
  }
  auto* k = new kernel;
  k->config = config;
  k->tick = config.start_tick;
  k->manual_tick.store(config.start_tick);
  k->tick_offset.store(static_cast<int64_t>(config.start_tick) - steady_ticks());
  k->memory.reset(new uint8_t[config.memory_size]);
  g_kernel = k;
  {
    cpu_scope init;
    define(k->memory.get());
  }
  lock lk(k->m);
  k->started = true;
  dispatch(lk);
  if (config.clock == clock_source::real) k->ticker = std::thread(ticker_main);
  lk.unlock();
  if (config.clock == clock_source::manual) settle();
}

void kernel_stop() {
  std::lock_guard<std::mutex> life(g_life);
  kernel* k = g_kernel;
  if (!k) return;
  {
    lock lk(k->m);
    k->stopping = true;
    k->attention.fetch_add(1);
    for (auto& t : k->threads) {
      t->kill = true;
      post_after_unlock(t->door);
    }
    k->ticker_cv.notify_all();
  }
  if (k->ticker.joinable()) k->ticker.join();
  for (auto& t : k->threads)
    if (t->host.joinable()) t->host.join();
  g_pending_isrs.clear();
  g_kernel = nullptr;
  delete k;
}

bool kernel_running() { return g_kernel != nullptr; }

void settle() {
  kernel* k = g_kernel;
  if (!k) return;
  lock lk(k->m);
  wait_idle(lk, k, [k] { return quiet(k) || k->stopping; });
}

void advance(uint32_t ticks) {
  kernel* k = g_kernel;
  if (!k) return;
  for (uint32_t i = 0; i < ticks; ++i) {
    settle();
    lock lk(k->m);
    foreign_acquire(lk);
    ++t_foreign_depth;
    process_tick(lk);
    --t_foreign_depth;
    foreign_release(lk);
  }
  settle();
}

cpu_scope::cpu_scope() {
  kernel* k = g_kernel;
  if (!k) {
    ++t_foreign_depth;
    return;
  }
  lock lk(k->m);
  if (t_foreign_depth == 0 && !t_self) foreign_acquire(lk);
  ++t_foreign_depth;
}

cpu_scope::~cpu_scope() {
  kernel* k = g_kernel;
  if (!k) {
    --t_foreign_depth;
    return;
  }
  lock lk(k->m);
  --t_foreign_depth;
  if (t_foreign_depth == 0 && !t_self) foreign_release(lk);
}

void raise_interrupt(const std::function<void()>& isr) {
  kernel* k = g_kernel;
  if (k && t_self && t_foreign_depth == 0) {
    // Raised by the running thread itself (a device it just wrote to).
    lock lk(k->m);
    if (!t_self->posture_enabled) {
      g_pending_isrs.push_back(isr);
      return;
    }
  }
  cpu_scope scope;
  isr();
}

bool in_thread() { return is_thread(); }

void set_wait_watch(wait_watch* watch) {
  // Read only by the thread's own host thread.
  if (is_thread()) t_self->watch = watch;
}

bool run_in_thread(const std::function<void()>& fn, UINT priority, uint32_t max_ticks) {
  kernel* k = g_kernel;
  if (!k) return false;
  TX_THREAD cb{};
  std::vector<uint8_t> stack(1024);
  {
    cpu_scope scope;
    if (tx_thread_create(&cb, "host", [](ULONG) {}, 0, stack.data(), stack.size(), priority, priority,
                         0, TX_DONT_START) != TX_SUCCESS)
      return false;
    lock lk(k->m);
    cb.impl->entry = nullptr;
    cb.impl->host_entry = fn;
  }
  tx_thread_resume(&cb);
  auto finished = [&] {
    lock lk(k->m);
    return cb.impl->host_finished;
  };
  bool done = false;
  if (k->config.clock == clock_source::manual) {
    settle();
    for (uint32_t i = 0; i <= max_ticks && !(done = finished()); ++i) advance(1);
  } else {
    for (uint32_t i = 0; i <= max_ticks && !(done = finished()); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!done) {
    tx_thread_terminate(&cb);
    settle();
  }
  {
    lock lk(k->m);
    wait_idle(lk, k, [&] { return cb.impl->host_finished; });
  }
  tx_thread_delete(&cb);
  return done;
}

}  // namespace rtos
