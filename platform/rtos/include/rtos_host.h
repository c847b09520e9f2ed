// Host-side control of the kernel stand-in: starting and stopping the kernel,
// the manual clock that tests drive, and the contexts from which host threads
// (tests, device models) enter the system's code.
//
// One context runs the system's code at a time: a kernel thread, the timer
// context, an interrupt, or a host thread holding `cpu_scope`. Kernel threads
// are dispatched by priority (lower is more urgent), first come first served
// within a priority. Interrupts, ticks and host callers are served when the
// running thread enters the kernel with interrupts enabled, or when no thread
// runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "tx_api.h"

// Byte pools poison their headers and free space under AddressSanitizer.
// g++ says __SANITIZE_ADDRESS__, clang only answers __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define RTOS_POOLS_POISONED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RTOS_POOLS_POISONED 1
#endif
#endif

namespace rtos {

enum class clock_source { real, manual };

struct kernel_config {
  clock_source clock = clock_source::manual;
  uint32_t start_tick = 0;                   // initial value of tx_time_get
  std::size_t memory_size = 32u << 20;       // memory handed to the application hook
};

// Starts the kernel: hands a fresh memory block to `define` (in the
// initialisation context, before any thread runs), then starts scheduling and
// returns. With the manual clock nothing advances until advance() is called.
void kernel_start(const kernel_config& config, const std::function<void(void*)>& define);
// Stops every kernel thread (their waits unwind), joins them and frees the
// kernel's state. Control blocks in callers' storage are left as they are.
void kernel_stop();
bool kernel_running();

// Manual clock: advance by `ticks` ticks. Before each tick the system is let
// run until no thread is ready; then timers fire and time-outs expire in the
// order of their due ticks, and the woken threads run until none is ready.
void advance(uint32_t ticks);
// Lets every ready thread run until none is ready (manual and real clock).
void settle();

// A host thread that calls into the system's code holds the processor for
// the scope's lifetime, as an interrupt does: no kernel thread runs meanwhile,
// tx_thread_identify() is null, and waits fail with TX_WAIT_ERROR or
// TX_CALLER_ERROR. Scopes nest within one host thread.
class cpu_scope {
 public:
  cpu_scope();
  ~cpu_scope();
  cpu_scope(const cpu_scope&) = delete;
  cpu_scope& operator=(const cpu_scope&) = delete;
};

// Runs `isr` in interrupt context (see cpu_scope), from any host thread.
void raise_interrupt(const std::function<void()>& isr);

// Runs `fn` on a new kernel thread of the given priority and lets the system
// run until that thread has finished (the manual clock is advanced as needed,
// up to `max_ticks`). Returns false when it did not finish in time.
bool run_in_thread(const std::function<void()>& fn, UINT priority = 16, uint32_t max_ticks = 100000);

// True while the calling host thread is a kernel thread.
bool in_thread();

// A host descriptor that a waiting kernel thread's own host thread watches
// besides its wake-up, as a device's receive interrupt reaches the thread
// that waits for it: no other host thread is woken in between.
class wait_watch {
 public:
  virtual ~wait_watch() = default;
  // Before the host thread sleeps, without the processor: the descriptor to
  // watch, or -1 to sleep as usual.
  virtual int begin() = 0;
  // Once it woke (`readable`: the descriptor woke it), without the
  // processor: true when interrupt() has work.
  virtual bool end(bool readable) = 0;
  // Then, in interrupt context on the same host thread.
  virtual void interrupt() = 0;
};

// The watch of the calling kernel thread's waits from now on; null ends it.
// Outside a kernel thread it does nothing.
void set_wait_watch(wait_watch* watch);

}  // namespace rtos
