#include "comm/ppp/link_worker.h"

#include <cstring>

#include "comm/network.h"
#include "frame/os/interrupts_masked.h"
#include "frame/trace/trace.h"

namespace {

enum : uint8_t { STACK_WANTED = 0, STACK_TAKEN = 1, CREATED = 2 };

void create(link_worker* w, UINT priority) {
  void* stack = nullptr;
  TX_BYTE_POOL* pool = comm_thread_stack_pool();
  UINT status = pool ? tx_byte_allocate(pool, &stack, LINK_WORKER_STACK, TX_NO_WAIT) : TX_PTR_ERROR;
  if (status != TX_SUCCESS || !stack) {
    monitor_printf("nx_%s_worker_thread Allocation Error:%d! Size:%d\n", w->kind, status, LINK_WORKER_STACK);
    return;
  }
  std::memset(stack, 0xEF, LINK_WORKER_STACK);
  w->stage = STACK_TAKEN;
  // The event flags come first: the worker waits on them at once.
  status = tx_event_flags_create(&w->events, w->events_name);
  if (status != TX_SUCCESS)
    monitor_printf("nx_%s_create: tx_event_flags_create failed:0x%02X\n", w->kind, status);
  else
    w->events_created = true;
  status = tx_thread_create(&w->thread, w->thread_name, w->entry, 0, stack, LINK_WORKER_STACK, priority, priority,
                            TX_NO_TIME_SLICE, TX_AUTO_START);
  if (status != TX_SUCCESS)
    monitor_printf("%s_create: nx_%s_rx_thread failed %02x\n", w->kind, w->kind, status);
  else
    w->stage = CREATED;
}

}  // namespace

uint32_t link_worker_register(link_worker* w, void* link, UINT priority, TX_EVENT_FLAGS_GROUP** events,
                              ULONG* bit) {
  if (w->stage == STACK_WANTED) create(w, priority);
  uint32_t row = 0;
  while (row < LINK_WORKER_ROWS && w->rows[row]) ++row;
  if (row < LINK_WORKER_ROWS && w->events_created) {
    *events = &w->events;
    *bit = 1u << row;
    w->rows[row] = link;
    return row;
  }
  monitor_printf("nx_%s_create: failed to register with worker thread\n", w->kind);
  return LINK_WORKER_ROWS;
}

void link_worker_remove(link_worker* w, uint32_t row, void* link) {
  interrupts_masked m;
  if (row < LINK_WORKER_ROWS && w->rows[row] == link) w->rows[row] = nullptr;
}

void* link_worker_row(link_worker* w, uint32_t row) { return row < LINK_WORKER_ROWS ? w->rows[row] : nullptr; }

void link_worker_forget(link_worker* w) {
  interrupts_masked m;
  w->stage = STACK_WANTED;
  w->events_created = false;
  std::memset(w->rows, 0, sizeof w->rows);
}

bool link_worker_in(const link_worker* w) {
  TX_THREAD* self = tx_thread_identify();
  return self && w->stage == CREATED && self == &w->thread;
}

bool link_worker_take_bit(TX_EVENT_FLAGS_GROUP* group, ULONG bit) {
  ULONG actual = 0;
  return group && tx_event_flags_get(group, bit, TX_OR_CLEAR, &actual, TX_NO_WAIT) == TX_SUCCESS;
}

void link_worker_pass(link_worker* w) {
  for (uint32_t row = 0; row < LINK_WORKER_ROWS; ++row) {
    if (void* link = w->rows[row])
      w->serve(link);
    else if (w->events_created)
      link_worker_take_bit(&w->events, 1u << row);  // a row given up: its bit must not keep the worker awake
  }
}

void link_worker_run(link_worker* w) {
  for (;;) {
    ULONG actual = 0;
    tx_event_flags_get(&w->events, 0xFFFFFFFFu, TX_OR, &actual, TX_WAIT_FOREVER);
    link_worker_pass(w);
    tx_thread_relinquish();
  }
}
