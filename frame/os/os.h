// Thin wrappers over the kernel that translate its status codes into the
// system's own, so no caller depends on the kernel's numbering.
#pragma once

#include <cstdint>

#include "tx_api.h"

typedef uint32_t os_status;

enum : os_status {
  OS_SUCCESS = 0,
  OS_CREATE_ERROR = 1,     // bad event-flags group or mutex at creation
  OS_SEMAPHORE_ERROR = 2,
  OS_FAILURE = 3,          // any other failure
  OS_DELETED = 4,          // the object was deleted while the caller waited
  OS_WAIT_ERROR = 5,       // asked to wait from a context that cannot
  OS_NOT_AVAILABLE = 6,    // mutex not obtained within the wait
  OS_NOT_OWNED = 7,
  OS_CALLER_ERROR = 8,     // not called from a thread
  OS_WAIT_ABORTED = 9,
  OS_NO_INSTANCE = 10,     // no semaphore count within the wait
  OS_NO_EVENTS = 11,       // the flags did not occur within the wait
  OS_NO_MEMORY = 12,
};

typedef uint32_t os_event_option;

enum : os_event_option {
  OS_EVENT_AND = 1,
  OS_EVENT_AND_CLEAR = 2,
  OS_EVENT_OR = 3,
  OS_EVENT_OR_CLEAR = 4,
};

#define OS_NO_WAIT TX_NO_WAIT
#define OS_WAIT_FOREVER TX_WAIT_FOREVER

int os_event_option_map(os_event_option option, UINT* kernel_option);
int os_bool_option(uint32_t value, uint8_t* out);

os_status os_byte_pool_create(TX_BYTE_POOL* pool, const char* name, void* start, uint32_t size);
os_status os_byte_allocate(TX_BYTE_POOL* pool, void** result, uint32_t size, uint32_t wait);
os_status os_byte_release(void* memory);
os_status os_byte_pool_info(TX_BYTE_POOL* pool, const char** name, uint32_t* total, uint32_t* available,
                            uint32_t* fragments);

os_status os_event_create(TX_EVENT_FLAGS_GROUP* group, const char* name);
os_status os_event_delete(TX_EVENT_FLAGS_GROUP* group);
os_status os_event_get(TX_EVENT_FLAGS_GROUP* group, uint32_t requested, os_event_option option, uint32_t* actual,
                       uint32_t wait);
os_status os_event_set(TX_EVENT_FLAGS_GROUP* group, uint32_t flags, os_event_option option);

os_status os_semaphore_create(TX_SEMAPHORE* semaphore, const char* name, uint32_t initial);
os_status os_semaphore_get(TX_SEMAPHORE* semaphore, uint32_t wait);
os_status os_semaphore_info(TX_SEMAPHORE* semaphore, const char** name, uint32_t* count);
os_status os_semaphore_put(TX_SEMAPHORE* semaphore);

os_status os_mutex_create(TX_MUTEX* mutex, const char* name, uint32_t inherit);
os_status os_mutex_delete(TX_MUTEX* mutex);
os_status os_mutex_get(TX_MUTEX* mutex, uint32_t wait);
os_status os_mutex_put(TX_MUTEX* mutex);

os_status os_timer_create(TX_TIMER* timer, const char* name, void (*expiry)(ULONG), uint32_t initial,
                          uint32_t period, uint32_t auto_activate);
os_status os_timer_activate(TX_TIMER* timer);
os_status os_timer_deactivate(TX_TIMER* timer);
os_status os_timer_change(TX_TIMER* timer, uint32_t initial, uint32_t period, uint32_t* old_period);
os_status os_timer_delete(TX_TIMER* timer);

os_status os_thread_name(const char** out);
os_status os_sleep(uint32_t ticks);
