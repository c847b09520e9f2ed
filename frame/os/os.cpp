#include "frame/os/os.h"

namespace {

struct status_pair {
  UINT kernel;
  os_status os;
};

// Translates through the wrapper's own table; anything unlisted gives the
// wrapper's default.
template <size_t N>
os_status translate(UINT status, const status_pair (&table)[N], os_status fallback) {
  if (status == TX_SUCCESS) return OS_SUCCESS;
  for (const auto& p : table)
    if (p.kernel == status) return p.os;
  return fallback;
}

constexpr status_pair kNone[] = {{TX_SUCCESS, OS_SUCCESS}};

constexpr struct {
  os_event_option option;
  UINT kernel;
} kEventOptions[] = {
    {OS_EVENT_AND, TX_AND},
    {OS_EVENT_AND_CLEAR, TX_AND_CLEAR},
    {OS_EVENT_OR, TX_OR},
    {OS_EVENT_OR_CLEAR, TX_OR_CLEAR},
};

}  // namespace

int os_event_option_map(os_event_option option, UINT* kernel_option) {
  for (const auto& row : kEventOptions) {
    if (row.option == option) {
      *kernel_option = row.kernel;
      return 1;
    }
  }
  return 0;
}

int os_bool_option(uint32_t value, uint8_t* out) {
  if (value > 1) return 0;
  *out = static_cast<uint8_t>(value);
  return 1;
}

os_status os_byte_pool_create(TX_BYTE_POOL* pool, const char* name, void* start, uint32_t size) {
  return translate(tx_byte_pool_create(pool, name, start, size), kNone, OS_FAILURE);
}

os_status os_byte_allocate(TX_BYTE_POOL* pool, void** result, uint32_t size, uint32_t wait) {
  static constexpr status_pair t[] = {{TX_DELETED, OS_DELETED}, {TX_NO_MEMORY, OS_NO_MEMORY},
                                      {TX_WAIT_ABORTED, OS_WAIT_ABORTED}};
  return translate(tx_byte_allocate(pool, result, size, wait), t, OS_FAILURE);
}

os_status os_byte_release(void* memory) { return translate(tx_byte_release(memory), kNone, OS_FAILURE); }

os_status os_byte_pool_info(TX_BYTE_POOL* pool, const char** name, uint32_t* total, uint32_t* available,
                            uint32_t* fragments) {
  ULONG avail = 0, frags = 0;
  const CHAR* n = nullptr;
  UINT st = tx_byte_pool_info_get(pool, &n, &avail, &frags);
  if (st != TX_SUCCESS) return OS_FAILURE;
  if (name) *name = n;
  if (available) *available = avail;
  if (fragments) *fragments = frags;
  if (total) *total = pool->size;
  return OS_SUCCESS;
}

os_status os_event_create(TX_EVENT_FLAGS_GROUP* group, const char* name) {
  static constexpr status_pair t[] = {{TX_GROUP_ERROR, OS_CREATE_ERROR}};
  return translate(tx_event_flags_create(group, name), t, OS_FAILURE);
}

os_status os_event_delete(TX_EVENT_FLAGS_GROUP* group) {
  static constexpr status_pair t[] = {{TX_CALLER_ERROR, OS_CALLER_ERROR}};
  return translate(tx_event_flags_delete(group), t, OS_FAILURE);
}

os_status os_event_get(TX_EVENT_FLAGS_GROUP* group, uint32_t requested, os_event_option option, uint32_t* actual,
                       uint32_t wait) {
  UINT kopt;
  if (!os_event_option_map(option, &kopt)) return OS_FAILURE;
  static constexpr status_pair t[] = {{TX_DELETED, OS_DELETED},
                                      {TX_WAIT_ERROR, OS_WAIT_ERROR},
                                      {TX_NO_EVENTS, OS_NO_EVENTS},
                                      {TX_WAIT_ABORTED, OS_WAIT_ABORTED}};
  ULONG got = 0;
  UINT st = tx_event_flags_get(group, requested, kopt, actual ? &got : nullptr, wait);
  if (st == TX_SUCCESS && actual) *actual = got;
  return translate(st, t, OS_FAILURE);
}

os_status os_event_set(TX_EVENT_FLAGS_GROUP* group, uint32_t flags, os_event_option option) {
  UINT kopt;
  if (!os_event_option_map(option, &kopt)) return OS_FAILURE;
  // The kernel's set knows only OR and AND; the clearing forms act as their
  // plain counterparts.
  kopt = (kopt == TX_AND || kopt == TX_AND_CLEAR) ? TX_AND : TX_OR;
  return translate(tx_event_flags_set(group, flags, kopt), kNone, OS_FAILURE);
}

os_status os_semaphore_create(TX_SEMAPHORE* semaphore, const char* name, uint32_t initial) {
  static constexpr status_pair t[] = {{TX_SEMAPHORE_ERROR, OS_SEMAPHORE_ERROR}};
  return translate(tx_semaphore_create(semaphore, name, initial), t, OS_FAILURE);
}

os_status os_semaphore_get(TX_SEMAPHORE* semaphore, uint32_t wait) {
  static constexpr status_pair t[] = {{TX_DELETED, OS_DELETED},
                                      {TX_WAIT_ERROR, OS_WAIT_ERROR},
                                      {TX_NO_INSTANCE, OS_NO_INSTANCE}};
  return translate(tx_semaphore_get(semaphore, wait), t, OS_FAILURE);
}

os_status os_semaphore_info(TX_SEMAPHORE* semaphore, const char** name, uint32_t* count) {
  ULONG c = 0;
  UINT st = tx_semaphore_info_get(semaphore, name, &c);
  if (st == TX_SUCCESS && count) *count = c;
  return translate(st, kNone, OS_SEMAPHORE_ERROR);
}

os_status os_semaphore_put(TX_SEMAPHORE* semaphore) {
  return translate(tx_semaphore_put(semaphore), kNone, OS_SEMAPHORE_ERROR);
}

os_status os_mutex_create(TX_MUTEX* mutex, const char* name, uint32_t inherit) {
  static constexpr status_pair t[] = {{TX_MUTEX_ERROR, OS_CREATE_ERROR}};
  return translate(tx_mutex_create(mutex, name, inherit), t, OS_FAILURE);
}

os_status os_mutex_delete(TX_MUTEX* mutex) {
  static constexpr status_pair t[] = {{TX_CALLER_ERROR, OS_CALLER_ERROR}};
  return translate(tx_mutex_delete(mutex), t, OS_FAILURE);
}

os_status os_mutex_get(TX_MUTEX* mutex, uint32_t wait) {
  static constexpr status_pair t[] = {{TX_DELETED, OS_DELETED},
                                      {TX_WAIT_ABORTED, OS_WAIT_ABORTED},
                                      {TX_NOT_AVAILABLE, OS_NOT_AVAILABLE},
                                      {TX_CALLER_ERROR, OS_CALLER_ERROR}};
  return translate(tx_mutex_get(mutex, wait), t, OS_FAILURE);
}

os_status os_mutex_put(TX_MUTEX* mutex) {
  static constexpr status_pair t[] = {{TX_NOT_OWNED, OS_NOT_OWNED}};
  return translate(tx_mutex_put(mutex), t, OS_FAILURE);
}

os_status os_timer_create(TX_TIMER* timer, const char* name, void (*expiry)(ULONG), uint32_t initial,
                          uint32_t period, uint32_t auto_activate) {
  uint8_t activate;
  if (!os_bool_option(auto_activate, &activate)) return OS_FAILURE;
  return translate(tx_timer_create(timer, name, expiry, 0, initial, period, activate), kNone, OS_FAILURE);
}

os_status os_timer_activate(TX_TIMER* timer) { return translate(tx_timer_activate(timer), kNone, OS_FAILURE); }

os_status os_timer_deactivate(TX_TIMER* timer) {
  return translate(tx_timer_deactivate(timer), kNone, OS_FAILURE);
}

os_status os_timer_change(TX_TIMER* timer, uint32_t initial, uint32_t period, uint32_t* old_period) {
  // The old period is reported even when the change is refused.
  if (old_period && timer) *old_period = timer->reload_ticks;
  return translate(tx_timer_change(timer, initial, period), kNone, OS_FAILURE);
}

os_status os_timer_delete(TX_TIMER* timer) { return translate(tx_timer_delete(timer), kNone, OS_FAILURE); }

os_status os_thread_name(const char** out) {
  TX_THREAD* self = tx_thread_identify();
  if (!self) return OS_CALLER_ERROR;
  *out = self->name;
  return OS_SUCCESS;
}

os_status os_sleep(uint32_t ticks) { return translate(tx_thread_sleep(ticks), kNone, OS_CALLER_ERROR); }
