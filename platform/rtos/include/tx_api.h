// Kernel services of the controller's real-time kernel, as the system's code
// calls them. On this host they are provided by the stand-in in platform/rtos:
// host threads scheduled one at a time by priority, a 10 ms tick from either the
// real clock or a manual clock, and byte pools that are real allocators.
#pragma once

#include <cstddef>
#include <cstdint>

typedef uint32_t UINT;
typedef uint32_t ULONG;
typedef char CHAR;
typedef unsigned char UCHAR;
typedef void VOID;

// Wait options (kernel ticks).
#define TX_NO_WAIT 0u
#define TX_WAIT_FOREVER 0xFFFFFFFFu

// Thread start, timer activation, mutex inheritance.
#define TX_DONT_START 0u
#define TX_AUTO_START 1u
#define TX_NO_ACTIVATE 0u
#define TX_AUTO_ACTIVATE 1u
#define TX_NO_INHERIT 0u
#define TX_INHERIT 1u
#define TX_NO_TIME_SLICE 0u

// Event-flag options.
#define TX_OR 0u
#define TX_OR_CLEAR 1u
#define TX_AND 2u
#define TX_AND_CLEAR 3u

// Interrupt postures for tx_interrupt_control.
#define TX_INT_DISABLE 0u
#define TX_INT_ENABLE 1u

// Kernel status codes. Only success is 0; the others are the stand-in's own.
#define TX_SUCCESS 0x00u
#define TX_DELETED 0x41u
#define TX_POOL_ERROR 0x42u
#define TX_PTR_ERROR 0x43u
#define TX_WAIT_ERROR 0x44u
#define TX_SIZE_ERROR 0x45u
#define TX_GROUP_ERROR 0x46u
#define TX_NO_EVENTS 0x47u
#define TX_OPTION_ERROR 0x48u
#define TX_QUEUE_ERROR 0x49u
#define TX_SEMAPHORE_ERROR 0x4Au
#define TX_NO_INSTANCE 0x4Bu
#define TX_THREAD_ERROR 0x4Cu
#define TX_PRIORITY_ERROR 0x4Du
#define TX_NO_MEMORY 0x4Eu
#define TX_START_ERROR 0x4Fu
#define TX_DELETE_ERROR 0x50u
#define TX_RESUME_ERROR 0x51u
#define TX_CALLER_ERROR 0x52u
#define TX_SUSPEND_ERROR 0x53u
#define TX_TIMER_ERROR 0x54u
#define TX_TICK_ERROR 0x55u
#define TX_ACTIVATE_ERROR 0x56u
#define TX_THRESH_ERROR 0x57u
#define TX_SUSPEND_LIFTED 0x58u
#define TX_WAIT_ABORTED 0x59u
#define TX_WAIT_ABORT_ERROR 0x5Au
#define TX_MUTEX_ERROR 0x5Bu
#define TX_NOT_AVAILABLE 0x5Cu
#define TX_NOT_OWNED 0x5Du
#define TX_INHERIT_ERROR 0x5Eu
#define TX_NOT_DONE 0x5Fu

#define TX_MAX_PRIORITIES 32u

namespace rtos_impl {
struct thread;
struct mutex;
struct semaphore;
struct event_group;
struct byte_pool;
struct timer;
}  // namespace rtos_impl

// Control blocks live in the caller's storage. The fields before `impl` may be
// read by the system's code; the kernel keeps them current.
struct TX_THREAD {
  const CHAR* name;
  void* stack_start;
  ULONG stack_size;
  UINT priority;
  UINT preempt_threshold;
  ULONG time_slice;
  rtos_impl::thread* impl;
};

struct TX_MUTEX {
  const CHAR* name;
  UINT inherit;
  ULONG ownership_count;
  TX_THREAD* owner;
  rtos_impl::mutex* impl;
};

struct TX_SEMAPHORE {
  const CHAR* name;
  ULONG count;
  rtos_impl::semaphore* impl;
};

struct TX_EVENT_FLAGS_GROUP {
  const CHAR* name;
  ULONG current;
  rtos_impl::event_group* impl;
};

struct TX_BYTE_POOL {
  const CHAR* name;
  void* start;
  ULONG size;       // total size given at creation
  ULONG available;  // bytes free for allocation (headers excluded)
  ULONG fragments;  // number of blocks, free and used
  rtos_impl::byte_pool* impl;
};

struct TX_TIMER {
  const CHAR* name;
  ULONG initial_ticks;
  ULONG reload_ticks;  // period; 0 for a one-shot timer
  rtos_impl::timer* impl;
};

// Kernel entry: calls tx_application_define once, then schedules threads.
// Never returns.
[[noreturn]] VOID tx_kernel_enter(VOID);
// Defined by the application.
VOID tx_application_define(VOID* first_unused_memory);

// Threads.
UINT tx_thread_create(TX_THREAD* thread, const CHAR* name, VOID (*entry)(ULONG), ULONG entry_input,
                      VOID* stack_start, ULONG stack_size, UINT priority, UINT preempt_threshold,
                      ULONG time_slice, UINT auto_start);
UINT tx_thread_delete(TX_THREAD* thread);
TX_THREAD* tx_thread_identify(VOID);
UINT tx_thread_suspend(TX_THREAD* thread);
UINT tx_thread_resume(TX_THREAD* thread);
UINT tx_thread_sleep(ULONG ticks);
UINT tx_thread_terminate(TX_THREAD* thread);
UINT tx_thread_wait_abort(TX_THREAD* thread);
VOID tx_thread_relinquish(VOID);
UINT tx_thread_priority_change(TX_THREAD* thread, UINT new_priority, UINT* old_priority);
UINT tx_thread_preemption_change(TX_THREAD* thread, UINT new_threshold, UINT* old_threshold);

// Mutexes.
UINT tx_mutex_create(TX_MUTEX* mutex, const CHAR* name, UINT inherit);
UINT tx_mutex_delete(TX_MUTEX* mutex);
UINT tx_mutex_get(TX_MUTEX* mutex, ULONG wait_option);
UINT tx_mutex_put(TX_MUTEX* mutex);

// Counting semaphores.
UINT tx_semaphore_create(TX_SEMAPHORE* semaphore, const CHAR* name, ULONG initial_count);
UINT tx_semaphore_delete(TX_SEMAPHORE* semaphore);
UINT tx_semaphore_get(TX_SEMAPHORE* semaphore, ULONG wait_option);
UINT tx_semaphore_put(TX_SEMAPHORE* semaphore);
UINT tx_semaphore_info_get(TX_SEMAPHORE* semaphore, const CHAR** name, ULONG* current_value);

// Event flags (32 per group).
UINT tx_event_flags_create(TX_EVENT_FLAGS_GROUP* group, const CHAR* name);
UINT tx_event_flags_delete(TX_EVENT_FLAGS_GROUP* group);
UINT tx_event_flags_get(TX_EVENT_FLAGS_GROUP* group, ULONG requested, UINT option, ULONG* actual,
                        ULONG wait_option);
UINT tx_event_flags_set(TX_EVENT_FLAGS_GROUP* group, ULONG flags, UINT option);

// Byte pools.
UINT tx_byte_pool_create(TX_BYTE_POOL* pool, const CHAR* name, VOID* start, ULONG size);
UINT tx_byte_pool_delete(TX_BYTE_POOL* pool);
UINT tx_byte_allocate(TX_BYTE_POOL* pool, VOID** memory, ULONG size, ULONG wait_option);
UINT tx_byte_release(VOID* memory);
UINT tx_byte_pool_info_get(TX_BYTE_POOL* pool, const CHAR** name, ULONG* available, ULONG* fragments);

// Application timers. Expiry functions run in the timer context, which may
// not wait.
UINT tx_timer_create(TX_TIMER* timer, const CHAR* name, VOID (*expiry)(ULONG), ULONG input,
                     ULONG initial_ticks, ULONG reload_ticks, UINT auto_activate);
UINT tx_timer_delete(TX_TIMER* timer);
UINT tx_timer_activate(TX_TIMER* timer);
UINT tx_timer_deactivate(TX_TIMER* timer);
UINT tx_timer_change(TX_TIMER* timer, ULONG initial_ticks, ULONG reload_ticks);

// Time: ticks of 10 ms, wrapping at 32 bits.
ULONG tx_time_get(VOID);
VOID tx_time_set(ULONG ticks);

// Interrupt posture (the processor's external-interrupt enable). Returns the
// previous posture; nests by saving and restoring it.
UINT tx_interrupt_control(UINT new_posture);
