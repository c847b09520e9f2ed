// Application timers and the tick: what is due at a tick fires in the order
// of its due tick, then of its arming.
#include <algorithm>

#include "kernel_internal.h"

namespace rtos_impl {

namespace {

// Wrap-safe: true when tick `now` has reached `due`.
bool reached(uint32_t now, uint32_t due) { return static_cast<int32_t>(now - due) >= 0; }

UINT timeout_status(wait_kind w) {
  switch (w) {
    case wait_kind::event:
      return TX_NO_EVENTS;
    case wait_kind::semaphore:
      return TX_NO_INSTANCE;
    case wait_kind::mutex:
      return TX_NOT_AVAILABLE;
    case wait_kind::pool:
      return TX_NO_MEMORY;
    default:
      return TX_SUCCESS;
  }
}

void arm(lock& lk, timer* t, ULONG ticks) {
  kernel* k = g_kernel;
  t->active = true;
  t->due = now_tick(k) + ticks;
  t->seq = ++k->seq;
  k->timers.push_back(t);
  note_due(lk, t->due);
}

void disarm(timer* t) {
  auto& v = g_kernel->timers;
  v.erase(std::remove(v.begin(), v.end(), t), v.end());
  t->active = false;
}

}  // namespace

uint32_t ticks_to_next_due(kernel* k, bool for_ticker) {
  int64_t best = -1;
  auto consider = [&](uint32_t due) {
    int32_t until = static_cast<int32_t>(due - k->tick);
    int64_t ticks = until < 1 ? 1 : until;
    if (best < 0 || ticks < best) best = ticks;
  };
  for (timer* t : k->timers) consider(t->due);
  for (thread* t : k->timed_waits)
    if (!for_ticker || !t->own_deadline) consider(t->deadline);
  return best < 0 ? 0 : static_cast<uint32_t>(best);
}

void process_tick(lock& lk) {
  kernel* k = g_kernel;
  ++k->tick;
  k->manual_tick.store(k->tick, std::memory_order_relaxed);
  const uint32_t now = k->tick;
  struct due_item {
    uint32_t due;
    uint64_t seq;
    timer* tm;
    thread* th;
  };
  std::vector<due_item> items;
  for (timer* t : k->timers)
    if (reached(now, t->due)) items.push_back({t->due, t->seq, t, nullptr});
  for (thread* t : k->timed_waits)
    if (reached(now, t->deadline)) items.push_back({t->deadline, t->timeout_seq, nullptr, t});
  std::sort(items.begin(), items.end(), [now](const due_item& a, const due_item& b) {
    int32_t da = static_cast<int32_t>(a.due - now), db = static_cast<int32_t>(b.due - now);
    return da != db ? da < db : a.seq < b.seq;
  });
  for (const due_item& it : items) {
    if (it.th) {
      thread* t = it.th;
      // Still waiting on the same deadline (an earlier expiry may have woken it).
      if (t->state == tstate::waiting && t->timed && t->timeout_seq == it.seq)
        wake(lk, t, timeout_status(t->wait));
      continue;
    }
    timer* t = it.tm;
    // An earlier expiry function may have stopped or deleted this timer.
    if (std::find(k->timers.begin(), k->timers.end(), t) == k->timers.end() || t->seq != it.seq) continue;
    disarm(t);
    if (t->cb->reload_ticks) {
      t->active = true;
      t->due = it.due + t->cb->reload_ticks;
      t->seq = ++k->seq;
      k->timers.push_back(t);
    } else {
      t->remaining = t->cb->initial_ticks;
    }
    auto fn = t->expiry;
    ULONG input = t->input;
    lk.unlock();
    fn(input);
    lk.lock();
  }
}

}  // namespace rtos_impl

using namespace rtos_impl;

UINT tx_timer_create(TX_TIMER* cb, const CHAR* name, VOID (*expiry)(ULONG), ULONG input, ULONG initial_ticks,
                     ULONG reload_ticks, UINT auto_activate) {
  entry e;
  if (!g_kernel) return TX_CALLER_ERROR;
  if (!cb || object_of<timer>(cb, okind::timer)) return TX_TIMER_ERROR;
  if (!expiry) return TX_PTR_ERROR;
  if (initial_ticks == 0) return TX_TICK_ERROR;
  if (auto_activate > TX_AUTO_ACTIVATE) return TX_ACTIVATE_ERROR;
  timer* t = add_object<timer>(cb);
  t->expiry = expiry;
  t->input = input;
  t->remaining = initial_ticks;
  cb->name = name;
  cb->initial_ticks = initial_ticks;
  cb->reload_ticks = reload_ticks;
  if (auto_activate == TX_AUTO_ACTIVATE) arm(e.lk, t, initial_ticks);
  return TX_SUCCESS;
}

UINT tx_timer_delete(TX_TIMER* cb) {
  entry e;
  timer* t = object_of<timer>(cb, okind::timer);
  if (!t) return TX_TIMER_ERROR;
  disarm(t);
  cb->impl = nullptr;
  remove_object(t);
  return TX_SUCCESS;
}

UINT tx_timer_activate(TX_TIMER* cb) {
  entry e;
  timer* t = object_of<timer>(cb, okind::timer);
  if (!t) return TX_TIMER_ERROR;
  if (t->active) return TX_ACTIVATE_ERROR;
  arm(e.lk, t, t->remaining ? t->remaining : cb->initial_ticks);
  return TX_SUCCESS;
}

UINT tx_timer_deactivate(TX_TIMER* cb) {
  entry e;
  timer* t = object_of<timer>(cb, okind::timer);
  if (!t) return TX_TIMER_ERROR;
  if (t->active) {
    int32_t left = static_cast<int32_t>(t->due - now_tick(g_kernel));
    t->remaining = left > 0 ? static_cast<ULONG>(left) : 1;
    disarm(t);
  }
  return TX_SUCCESS;
}

UINT tx_timer_change(TX_TIMER* cb, ULONG initial_ticks, ULONG reload_ticks) {
  entry e;
  timer* t = object_of<timer>(cb, okind::timer);
  if (!t) return TX_TIMER_ERROR;
  if (initial_ticks == 0) return TX_TICK_ERROR;
  if (t->active) return TX_ACTIVATE_ERROR;
  cb->initial_ticks = initial_ticks;
  cb->reload_ticks = reload_ticks;
  t->remaining = initial_ticks;
  return TX_SUCCESS;
}
