// Mutexes, counting semaphores and event flags of the kernel stand-in.
#include <algorithm>

#include "kernel_internal.h"

namespace rtos_impl {

namespace {

void erase(std::deque<thread*>& q, thread* t) { q.erase(std::remove(q.begin(), q.end(), t), q.end()); }

// The most urgent priority a mutex owner must run at: its own, or that of
// a thread waiting on an inheriting mutex it holds.
UINT inherited_priority(thread* t) {
  UINT p = t->base_priority;
  for (mutex* m : t->owned_mutexes) {
    if (!m->inherit) continue;
    for (thread* w : m->waiters) p = std::min(p, w->priority);
  }
  return p;
}

void wake_all(lock& lk, std::deque<thread*>& waiters, UINT status) {
  while (!waiters.empty()) wake(lk, waiters.front(), status);
}

// Gives a released mutex to its first waiter, or frees it.
void hand_over(lock& lk, mutex* m) {
  thread* old = m->owner;
  if (old) {
    auto& v = old->owned_mutexes;
    v.erase(std::remove(v.begin(), v.end(), m), v.end());
    UINT p = inherited_priority(old);
    if (p != old->priority) set_effective_priority(lk, old, p);
  }
  m->owner = nullptr;
  m->count = 0;
  if (!m->waiters.empty()) {
    thread* w = m->waiters.front();
    m->owner = w;
    m->count = 1;
    w->owned_mutexes.push_back(m);
    wake(lk, w, TX_SUCCESS);
    UINT p = inherited_priority(w);
    if (p < w->priority) set_effective_priority(lk, w, p);
  }
  if (m->cb) {
    m->cb->owner = m->owner ? m->owner->cb : nullptr;
    m->cb->ownership_count = m->count;
  }
}

}  // namespace

void unlink_wait(thread* t) {
  if (t->wait == wait_kind::none || !t->wait_object) return;
  switch (t->wait) {
    case wait_kind::event:
      erase(static_cast<event_group*>(t->wait_object)->waiters, t);
      break;
    case wait_kind::semaphore:
      erase(static_cast<semaphore*>(t->wait_object)->waiters, t);
      break;
    case wait_kind::mutex: {
      auto* m = static_cast<mutex*>(t->wait_object);
      erase(m->waiters, t);
      break;
    }
    case wait_kind::pool:
      erase(static_cast<byte_pool*>(t->wait_object)->waiters, t);
      break;
    default:
      break;
  }
}

void mutex_release_all(lock& lk, thread* t) {
  while (!t->owned_mutexes.empty()) hand_over(lk, t->owned_mutexes.back());
}

}  // namespace rtos_impl

using namespace rtos_impl;

// ---------------------------------------------------------------- mutexes

UINT tx_mutex_create(TX_MUTEX* cb, const CHAR* name, UINT inherit) {
  entry e;
  if (!g_kernel) return TX_CALLER_ERROR;
  if (!cb || object_of<mutex>(cb, okind::mutex)) return TX_MUTEX_ERROR;
  if (inherit > TX_INHERIT) return TX_INHERIT_ERROR;
  mutex* m = add_object<mutex>(cb);
  m->inherit = inherit == TX_INHERIT;
  cb->name = name;
  cb->inherit = inherit;
  cb->ownership_count = 0;
  cb->owner = nullptr;
  return TX_SUCCESS;
}

UINT tx_mutex_delete(TX_MUTEX* cb) {
  entry e;
  mutex* m = object_of<mutex>(cb, okind::mutex);
  if (!m) return TX_MUTEX_ERROR;
  if (!is_thread() && g_kernel->started) return TX_CALLER_ERROR;
  if (thread* old = m->owner) {
    auto& v = old->owned_mutexes;
    v.erase(std::remove(v.begin(), v.end(), m), v.end());
    m->owner = nullptr;
    UINT p = inherited_priority(old);
    if (p != old->priority) set_effective_priority(e.lk, old, p);
  }
  wake_all(e.lk, m->waiters, TX_DELETED);
  cb->impl = nullptr;
  remove_object(m);
  check_preempt(e.lk);
  return TX_SUCCESS;
}

UINT tx_mutex_get(TX_MUTEX* cb, ULONG wait_option) {
  entry e;
  mutex* m = object_of<mutex>(cb, okind::mutex);
  if (!m) return TX_MUTEX_ERROR;
  if (!is_thread()) return TX_CALLER_ERROR;
  thread* self = t_self;
  if (m->owner == self) {
    ++m->count;
    cb->ownership_count = m->count;
    return TX_SUCCESS;
  }
  if (!m->owner) {
    m->owner = self;
    m->count = 1;
    self->owned_mutexes.push_back(m);
    cb->owner = self->cb;
    cb->ownership_count = 1;
    return TX_SUCCESS;
  }
  if (wait_option == TX_NO_WAIT) return TX_NOT_AVAILABLE;
  m->waiters.push_back(self);
  if (m->inherit && self->priority < m->owner->priority) set_effective_priority(e.lk, m->owner, self->priority);
  return block(e.lk, wait_kind::mutex, m, wait_option);
}

UINT tx_mutex_put(TX_MUTEX* cb) {
  entry e;
  mutex* m = object_of<mutex>(cb, okind::mutex);
  if (!m) return TX_MUTEX_ERROR;
  if (!is_thread()) return TX_CALLER_ERROR;
  if (m->owner != t_self || m->count == 0) return TX_NOT_OWNED;
  if (--m->count > 0) {
    cb->ownership_count = m->count;
    return TX_SUCCESS;
  }
  hand_over(e.lk, m);
  check_preempt(e.lk);
  return TX_SUCCESS;
}

// ---------------------------------------------------------------- semaphores

UINT tx_semaphore_create(TX_SEMAPHORE* cb, const CHAR* name, ULONG initial_count) {
  entry e;
  if (!g_kernel) return TX_CALLER_ERROR;
  if (!cb || object_of<semaphore>(cb, okind::semaphore)) return TX_SEMAPHORE_ERROR;
  semaphore* s = add_object<semaphore>(cb);
  s->count = initial_count;
  cb->name = name;
  cb->count = initial_count;
  return TX_SUCCESS;
}

UINT tx_semaphore_delete(TX_SEMAPHORE* cb) {
  entry e;
  semaphore* s = object_of<semaphore>(cb, okind::semaphore);
  if (!s) return TX_SEMAPHORE_ERROR;
  wake_all(e.lk, s->waiters, TX_DELETED);
  cb->impl = nullptr;
  remove_object(s);
  check_preempt(e.lk);
  return TX_SUCCESS;
}

UINT tx_semaphore_get(TX_SEMAPHORE* cb, ULONG wait_option) {
  entry e;
  semaphore* s = object_of<semaphore>(cb, okind::semaphore);
  if (!s) return TX_SEMAPHORE_ERROR;
  if (wait_option != TX_NO_WAIT && !can_wait()) return TX_WAIT_ERROR;
  if (s->count > 0) {
    cb->count = --s->count;
    return TX_SUCCESS;
  }
  if (wait_option == TX_NO_WAIT) return TX_NO_INSTANCE;
  s->waiters.push_back(t_self);
  return block(e.lk, wait_kind::semaphore, s, wait_option);
}

UINT tx_semaphore_put(TX_SEMAPHORE* cb) {
  entry e;
  semaphore* s = object_of<semaphore>(cb, okind::semaphore);
  if (!s) return TX_SEMAPHORE_ERROR;
  if (!s->waiters.empty()) {
    wake(e.lk, s->waiters.front(), TX_SUCCESS);
    check_preempt(e.lk);
    return TX_SUCCESS;
  }
  cb->count = ++s->count;
  return TX_SUCCESS;
}

UINT tx_semaphore_info_get(TX_SEMAPHORE* cb, const CHAR** name, ULONG* current_value) {
  entry e;
  semaphore* s = object_of<semaphore>(cb, okind::semaphore);
  if (!s) return TX_SEMAPHORE_ERROR;
  if (name) *name = cb->name;
  if (current_value) *current_value = s->count;
  return TX_SUCCESS;
}

// ---------------------------------------------------------------- event flags

namespace {

bool satisfied(ULONG flags, ULONG requested, UINT option) {
  if (option == TX_AND || option == TX_AND_CLEAR) return (flags & requested) == requested;
  return (flags & requested) != 0;
}

bool clears(UINT option) { return option == TX_OR_CLEAR || option == TX_AND_CLEAR; }

}  // namespace

UINT tx_event_flags_create(TX_EVENT_FLAGS_GROUP* cb, const CHAR* name) {
  entry e;
  if (!g_kernel) return TX_CALLER_ERROR;
  if (!cb || object_of<event_group>(cb, okind::event_group)) return TX_GROUP_ERROR;
  add_object<event_group>(cb);
  cb->name = name;
  cb->current = 0;
  return TX_SUCCESS;
}

UINT tx_event_flags_delete(TX_EVENT_FLAGS_GROUP* cb) {
  entry e;
  event_group* g = object_of<event_group>(cb, okind::event_group);
  if (!g) return TX_GROUP_ERROR;
  if (!is_thread() && g_kernel->started) return TX_CALLER_ERROR;
  wake_all(e.lk, g->waiters, TX_DELETED);
  cb->impl = nullptr;
  remove_object(g);
  check_preempt(e.lk);
  return TX_SUCCESS;
}

UINT tx_event_flags_get(TX_EVENT_FLAGS_GROUP* cb, ULONG requested, UINT option, ULONG* actual,
                        ULONG wait_option) {
  entry e;
  event_group* g = object_of<event_group>(cb, okind::event_group);
  if (!g) return TX_GROUP_ERROR;
  if (!actual) return TX_PTR_ERROR;
  if (requested == 0) return TX_PTR_ERROR;
  if (option > TX_AND_CLEAR) return TX_OPTION_ERROR;
  if (wait_option != TX_NO_WAIT && !can_wait()) return TX_WAIT_ERROR;
  if (satisfied(g->flags, requested, option)) {
    *actual = g->flags;
    if (clears(option)) g->flags &= ~requested;
    cb->current = g->flags;
    return TX_SUCCESS;
  }
  if (wait_option == TX_NO_WAIT) return TX_NO_EVENTS;
  thread* self = t_self;
  self->ev_requested = requested;
  self->ev_option = option;
  g->waiters.push_back(self);
  UINT status = block(e.lk, wait_kind::event, g, wait_option);
  if (status == TX_SUCCESS) *actual = self->ev_actual;
  return status;
}

UINT tx_event_flags_set(TX_EVENT_FLAGS_GROUP* cb, ULONG flags, UINT option) {
  entry e;
  event_group* g = object_of<event_group>(cb, okind::event_group);
  if (!g) return TX_GROUP_ERROR;
  if (option == TX_AND) {
    g->flags &= flags;
  } else if (option == TX_OR) {
    g->flags |= flags;
  } else {
    return TX_OPTION_ERROR;
  }
  // Serve waiters in arrival order; a clearing waiter takes its flags away
  // from those behind it.
  for (size_t i = 0; i < g->waiters.size();) {
    thread* w = g->waiters[i];
    if (satisfied(g->flags, w->ev_requested, w->ev_option)) {
      w->ev_actual = g->flags;
      if (clears(w->ev_option)) g->flags &= ~w->ev_requested;
      wake(e.lk, w, TX_SUCCESS);  // removes it from the waiters
    } else {
      ++i;
    }
  }
  cb->current = g->flags;
  check_preempt(e.lk);
  return TX_SUCCESS;
}
