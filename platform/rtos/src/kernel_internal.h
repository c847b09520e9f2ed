// Internal state of the kernel stand-in. Everything here is guarded by
// kernel::m; user code (thread entries, timer expiries, interrupts) never runs
// with it held.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "rtos_host.h"
#include "tx_api.h"

namespace rtos_impl {

enum class tstate { ready, running, waiting, suspended, completed, terminated };

enum class wait_kind { none, sleep, event, semaphore, mutex, pool };

struct thread;

// Where one host thread sleeps until another hands it the processor: a
// futex word with a single waiter. A post before the wait is kept; a post
// may come late, so the waiter re-checks what it waits for.
class gate {
 public:
  gate() = default;
  gate(const gate&) = delete;
  gate& operator=(const gate&) = delete;
  ~gate();
  void post();
  // `spin`: the post is likely to come soon.
  void wait(bool spin = false);
  // Like wait(), but ends at `when` too: false then, unposted.
  bool wait_until(std::chrono::steady_clock::time_point when);
  // Like wait(), but also ends when `fd` is readable (true then), and at
  // `until` when given.
  bool wait_watching(int fd, const std::chrono::steady_clock::time_point* until = nullptr);

 private:
  // 0 empty, 1 posted, 2 empty with the waiter asleep on the futex, 3 empty
  // with the waiter asleep in poll (a post writes m_event).
  std::atomic<int> m_state{0};
  std::atomic<int> m_event{-1};  // eventfd, made on the first wait_watching
  bool m_quick = false;           // the last spinning wait() ended soon: the next spins first
  std::chrono::steady_clock::time_point m_spin_began;

  bool spin_for_post();
  void note_spin_end();
};

// The host thread that runs a kernel thread, on a stack of its own whose top
// part is painted so that its deepest use can be measured.
class host_thread {
 public:
  host_thread() = default;
  host_thread(host_thread&& o) noexcept;
  host_thread& operator=(host_thread&& o) noexcept;
  ~host_thread();
  // `watched`: the size the creator gave, which the painted part exceeds.
  bool start(void (*fn)(thread*), thread* arg, size_t watched);
  bool joinable() const { return m_running; }
  void join();
  // Bytes below `top` (an address on this stack) that were ever written.
  size_t deepest(uintptr_t top) const;

 private:
  void release();
  pthread_t m_id{};
  bool m_running = false;
  uint8_t* m_map = nullptr;
  uint8_t* m_painted = nullptr;
};

// Thrown inside a kernel thread to unwind it when the kernel stops or the
// thread is terminated; caught by the thread's trampoline.
struct thread_exit {};

struct thread {
  TX_THREAD* cb = nullptr;
  void (*entry)(ULONG) = nullptr;
  std::function<void()> host_entry;  // used by run_in_thread
  ULONG input = 0;
  UINT base_priority = 0;  // priority set by the application
  UINT priority = 0;       // effective priority (raised by inheritance)
  UINT threshold = 0;
  tstate state = tstate::ready;
  wait_kind wait = wait_kind::none;
  void* wait_object = nullptr;
  bool timed = false;           // the wait has a deadline
  // Real clock: the thread's own host thread wakes for the deadline, and the
  // tick thread leaves it alone (one host wake instead of two).
  bool own_deadline = false;
  uint32_t deadline = 0;        // tick at which a timed wait ends
  uint64_t timeout_seq = 0;     // order among waits ending on the same tick
  UINT wait_status = TX_SUCCESS;
  bool delayed_suspend = false;  // suspend requested while waiting
  bool kill = false;             // terminate at the next kernel entry
  bool posture_enabled = true;   // interrupt posture
  bool preempted_last = false;   // gave up the processor last while ready
  bool spin = false;             // spins in its wait for the processor
  // Wait parameters.
  ULONG ev_requested = 0;
  UINT ev_option = 0;
  ULONG ev_actual = 0;
  ULONG alloc_size = 0;
  void* alloc_result = nullptr;
  // Posted when the thread is given the processor or told to end; shared
  // with the lock of whoever posts it, since the post follows the unlock.
  std::shared_ptr<gate> door = std::make_shared<gate>();
  host_thread host;
  bool host_finished = false;
  // Stack use: the host stack's address where the thread starts, the depth
  // the stand-in's own wait for the processor reached there (which the
  // firmware's kernel does not spend), the deepest use seen, and the tick of
  // the last look.
  uintptr_t stack_top = 0;
  size_t stack_base = 0;
  size_t deepest = 0;
  uint32_t measured_tick = ~0u;
  std::vector<mutex*> owned_mutexes;
  rtos::wait_watch* watch = nullptr;  // what its host thread watches while it waits
  char host_name[16] = {};            // the name, as the host shows it
};

// Kernel objects other than threads, owned by the kernel until deleted.
enum class okind { mutex, semaphore, event_group, byte_pool, timer };

struct object {
  explicit object(okind k) : kind(k) {}
  virtual ~object() = default;
  okind kind;
};

struct mutex : object {
  mutex() : object(okind::mutex) {}
  TX_MUTEX* cb = nullptr;
  thread* owner = nullptr;
  ULONG count = 0;
  bool inherit = false;
  UINT owner_original_priority = 0;
  std::deque<thread*> waiters;
};

struct semaphore : object {
  semaphore() : object(okind::semaphore) {}
  TX_SEMAPHORE* cb = nullptr;
  ULONG count = 0;
  std::deque<thread*> waiters;
};

struct event_group : object {
  event_group() : object(okind::event_group) {}
  TX_EVENT_FLAGS_GROUP* cb = nullptr;
  ULONG flags = 0;
  std::deque<thread*> waiters;
};

struct byte_pool : object {
  byte_pool() : object(okind::byte_pool) {}
  TX_BYTE_POOL* cb = nullptr;
  uint8_t* start = nullptr;
  ULONG size = 0;
  std::deque<thread*> waiters;
};

struct timer : object {
  timer() : object(okind::timer) {}
  TX_TIMER* cb = nullptr;
  void (*expiry)(ULONG) = nullptr;
  ULONG input = 0;
  bool active = false;
  uint32_t due = 0;
  uint64_t seq = 0;
  ULONG remaining = 0;  // ticks left when deactivated
};

// Who holds the processor.
enum class holder { none, thread, foreign };

struct foreign_request {
  std::shared_ptr<gate> door;
  bool granted = false;
};

// The kernel lock. Gates posted with it held are posted once it is let go,
// so the thread given the processor wakes to a free lock.
class guard {
 public:
  guard() = default;
  explicit guard(std::mutex& m) : m_lock(m) {}
  guard(guard&& o) noexcept = default;
  guard& operator=(guard&& o) noexcept {
    if (m_lock.owns_lock()) unlock();
    m_lock = std::move(o.m_lock);
    return *this;
  }
  ~guard() {
    if (m_lock.owns_lock()) unlock();
  }
  void lock() { m_lock.lock(); }
  void unlock() {
    m_lock.unlock();
    flush();
  }
  bool owns_lock() const { return m_lock.owns_lock(); }
  // Posts now what waits for the unlock (before a wait that unlocks).
  static void flush();
  // For condition variables; flush() first.
  std::unique_lock<std::mutex>& raw() { return m_lock; }

 private:
  std::unique_lock<std::mutex> m_lock;
};

// Posts `door` once the calling host thread lets go of the kernel lock.
void post_after_unlock(const std::shared_ptr<gate>& door);

struct kernel {
  std::mutex m;
  rtos::kernel_config config;
  bool started = false;  // scheduling has begun
  bool stopping = false;
  // The last tick processed (timers and time-outs fired up to it). On the
  // manual clock it is the time; on the real clock the time runs on (see
  // now_tick) and the tick thread catches up whenever something is due.
  uint32_t tick = 0;
  std::atomic<uint32_t> manual_tick{0};  // `tick`, readable without the lock
  std::atomic<int64_t> tick_offset{0};   // real clock: time = steady ticks + offset
  // Nonzero while a host context waits for the processor or the kernel
  // stops: a reading of the time is then a point to serve it.
  std::atomic<int> attention{0};
  uint64_t seq = 0;

  holder cpu = holder::none;
  thread* current = nullptr;
  // The thread that gave the processor to an interrupt; it gets it back
  // unless a thread above its preemption threshold became ready meanwhile.
  thread* interrupted = nullptr;
  std::deque<thread*> ready[TX_MAX_PRIORITIES];
  uint32_t ready_bits = 0;  // bit p: ready[p] is not empty
  std::deque<foreign_request*> foreign_queue;
  std::condition_variable idle_cv;
  int idle_waiters = 0;  // host threads waiting on idle_cv

  std::list<std::unique_ptr<thread>> threads;
  std::unordered_set<const void*> live_threads;
  std::unordered_map<const void*, std::unique_ptr<object>> objects;
  std::vector<timer*> timers;        // active timers
  std::vector<thread*> timed_waits;  // threads in a wait with a deadline

  std::unique_ptr<uint8_t[]> memory;
  std::thread ticker;
  std::condition_variable ticker_cv;
  // Real clock: the tick the tick thread sleeps until, and whether it sleeps
  // with nothing due at all; a new deadline before it wakes the thread.
  uint32_t ticker_due = 0;
  bool ticker_idle = false;
  bool ticker_poked = false;
};

extern kernel* g_kernel;

// Per host thread: the kernel thread it runs, and how deep its cpu_scope
// nesting is (interrupts and the timer context count as scopes).
extern thread_local thread* t_self;
extern thread_local int t_foreign_depth;

using lock = guard;

// The time in ticks. Manual clock: the last tick advanced to. Real clock:
// the ticks elapsed on the host's steady clock, whether or not the tick
// thread has caught up.
uint32_t now_tick(kernel* k);
// Real clock: a timer or time-out was armed due at tick `due`; wakes the
// tick thread when it sleeps past it.
void note_due(lock& lk, uint32_t due);

// Scheduler primitives (kernel.cpp). All take the kernel lock held.
void make_ready(lock& lk, thread* t, bool front = false);
// Blocks the calling kernel thread in the given wait until woken; returns
// the wait status. Timed when wait_option is not TX_WAIT_FOREVER.
UINT block(lock& lk, wait_kind kind, void* object, ULONG wait_option);
// Ends another thread's wait with a status (removes it from wait lists).
void wake(lock& lk, thread* t, UINT status);
// A kernel thread entering the kernel: serves interrupts and yields to more
// urgent threads.
void preempt_point(lock& lk);
// After making threads ready from a kernel thread: yields if one is more
// urgent than the caller's preemption threshold allows.
void check_preempt(lock& lk);
// The calling context may wait (a kernel thread, kernel running).
bool can_wait();
// The calling context is a kernel thread.
bool is_thread();

// Enters the kernel from the caller's context: takes the kernel lock, and from
// a host thread outside any cpu_scope takes the processor too. The guard
// releases both.
class entry {
 public:
  entry();
  ~entry();
  lock lk;

 private:
  bool foreign_acquired_ = false;
};

void foreign_acquire(lock& lk);
void foreign_release(lock& lk);

// The kernel object behind a control block, or null when the block was
// never created, was deleted, or belongs to a stopped kernel.
template <class T, class CB>
T* object_of(CB* cb, okind kind) {
  if (!cb || !g_kernel || !cb->impl) return nullptr;
  auto it = g_kernel->objects.find(cb->impl);
  if (it == g_kernel->objects.end() || it->second->kind != kind) return nullptr;
  T* o = static_cast<T*>(it->second.get());
  return o->cb == cb ? o : nullptr;
}
template <class T, class CB>
T* add_object(CB* cb) {
  auto o = std::make_unique<T>();
  T* raw = o.get();
  raw->cb = cb;
  cb->impl = raw;
  g_kernel->objects.emplace(raw, std::move(o));
  return raw;
}
void remove_object(const void* impl);
thread* thread_of(TX_THREAD* cb);
void set_effective_priority(lock& lk, thread* t, UINT p);

// Removes a thread from the wait list of the object it waits on.
void unlink_wait(thread* t);
void mutex_release_all(lock& lk, thread* t);
void pool_retry_waiters(lock& lk, byte_pool* p);

// Measures the calling thread's stack use (at most once a tick) and marks
// it in the stack its creator gave.
void note_stack_use(thread* t);

// Tick processing (timer.cpp): advances the tick by one and fires what is due.
void process_tick(lock& lk);
// Ticks from the last processed one to the first thing due (timer or
// time-out), or 0 when nothing is armed. `for_ticker`: only what the tick
// thread has to wake for (not the time-outs their own threads watch).
uint32_t ticks_to_next_due(kernel* k, bool for_ticker = false);
// Real clock: processes the ticks up to `now` in order, as an interrupt;
// the caller holds the processor as a host context.
void catch_up(lock& lk, kernel* k, uint32_t now);

}  // namespace rtos_impl
