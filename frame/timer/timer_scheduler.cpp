#include "frame/timer/timer_scheduler.h"

#include <new>

#include "frame/os/os.h"
#include "frame/trace/trace.h"

timer_scheduler* g_timer_scheduler = nullptr;

timer_scheduler_tx_rtos* timer_scheduler_tx_rtos::s_pInstance = nullptr;
uint8_t timer_scheduler_tx_rtos::s_byCreated = 0;

namespace {

timer_event* event_of(const list_node* n) { return reinterpret_cast<timer_event*>(n->item); }

// Ticks wrap after about 497 days: compare by signed distance.
bool is_due(uint32_t now, uint32_t expiry) { return static_cast<int32_t>(now - expiry) >= 0; }

// How an operation holds the service: the mutex when called from a thread,
// and the interrupt posture, masked while the list changes so that the
// timer context never sees it half-changed.
struct scheduler_hold {
  uint8_t locked = 0;
  UINT posture = TX_INT_ENABLE;
};

}  // namespace

timer_scheduler_tx_rtos* timer_scheduler_tx_rtos::Instance() {
  if (!s_byCreated) {
    timer_scheduler_tx_rtos* s = new (std::nothrow) timer_scheduler_tx_rtos;
    if (!s) {
      monitor_printf("timer_scheduler_tx_rtos::Instance: no memory\n");
      return nullptr;
    }
    s_pInstance = s;
    s_byCreated = 1;
    g_timer_scheduler = s;
  }
  return s_pInstance;
}

void timer_scheduler_tx_rtos::DestroyInstance() {
  if (!s_byCreated) return;
  if (g_timer_scheduler == s_pInstance) g_timer_scheduler = nullptr;
  delete s_pInstance;
  s_pInstance = nullptr;
  s_byCreated = 0;
}

timer_scheduler_tx_rtos::timer_scheduler_tx_rtos() {
  list_init(&m_Events, LIST_TYPE, 0);
  os_status st = os_mutex_create(&m_Mutex, "Scheduler", TX_INHERIT);
  if (st != OS_SUCCESS) monitor_printf("timer_scheduler_tx_rtos::Instance: mutex error %u\n", st);
  st = os_timer_create(&m_Timer, "Scheduler", &timer_scheduler_tx_rtos::OnTimerExpiry, 100, 100, 0);
  if (st != OS_SUCCESS) monitor_printf("timer_scheduler_tx_rtos::Instance: timer error %u\n", st);
}

timer_scheduler_tx_rtos::~timer_scheduler_tx_rtos() {
  os_timer_deactivate(&m_Timer);
  os_timer_delete(&m_Timer);
  os_mutex_delete(&m_Mutex);
  // The events still listed belong to the service.
  for (list_node* n = m_Events.head; n; n = n->next) delete event_of(n);
  list_destroy(&m_Events);
}

// Threads take the mutex; the timer context (an event calling back from its
// Fire) and start-up code run without it, as no thread can be inside then.
static int hold(TX_MUTEX* mutex, scheduler_hold* h) {
  if (tx_thread_identify()) {
    if (os_mutex_get(mutex, OS_WAIT_FOREVER) != OS_SUCCESS) return 0;
    h->locked = 1;
  }
  h->posture = tx_interrupt_control(TX_INT_DISABLE);
  return 1;
}

static void release(TX_MUTEX* mutex, const scheduler_hold& h) {
  tx_interrupt_control(h.posture);
  if (h.locked) os_mutex_put(mutex);
}

list_node* timer_scheduler_tx_rtos::Find(uint32_t id) const {
  for (list_node* n = m_Events.head; n; n = n->next)
    if (event_of(n)->m_uId == id) return n;
  return nullptr;
}

void timer_scheduler_tx_rtos::Rearm(uint32_t now) {
  uint32_t d = 0x7FFFFFFF;
  for (list_node* n = m_Events.head; n; n = n->next) {
    int32_t left = static_cast<int32_t>(event_of(n)->m_uExpiry - now);
    uint32_t t = left > 0 ? static_cast<uint32_t>(left) : 0;
    if (t < d) d = t;
  }
  // Something is due already; the kernel takes no timer of 0 ticks.
  if (d == 0) d = 1;
  uint32_t old_period = 0;
  os_timer_deactivate(&m_Timer);
  os_timer_change(&m_Timer, d, d, &old_period);
  os_timer_activate(&m_Timer);
}

uint32_t timer_scheduler_tx_rtos::AddEvent(timer_event* event, uint32_t period, uint8_t repeat) {
  if (!event) return 0;
  scheduler_hold h;
  if (!hold(&m_Mutex, &h)) return 0;
  uint32_t id = 0;
  bool listed = false;
  for (list_node* n = m_Events.head; n; n = n->next)
    if (event_of(n) == event) listed = true;
  list_node* node = nullptr;
  // An event listed twice would be destroyed while still listed.
  if (!listed && list_add(&m_Events, &node) == LIST_OK) {
    uint32_t now = tx_time_get();
    id = ++m_uIdCounter;
    if (id == 0) id = ++m_uIdCounter;  // 0 means refused
    event->m_uId = id;
    event->m_uExpiry = now + period;
    event->m_uPeriod = period;
    event->m_byRepeat = repeat;
    event->m_uPass = m_uPass;  // an event added while firing waits for the next run
    node->item = reinterpret_cast<uintptr_t>(event);
    Rearm(now);
  }
  release(&m_Mutex, h);
  if (!id) monitor_printf("timer_scheduler_tx_rtos::AddEvent: event refused\n");
  return id;
}

int timer_scheduler_tx_rtos::RemoveEvent(uint32_t id) {
  scheduler_hold h;
  if (!hold(&m_Mutex, &h)) return 0;
  timer_event* event = nullptr;
  if (list_node* n = Find(id)) {
    event = event_of(n);
    list_remove(&m_Events, n);
    if (m_Events.count)
      Rearm(tx_time_get());
    else
      os_timer_deactivate(&m_Timer);
  }
  release(&m_Mutex, h);
  if (!event) return 0;
  delete event;
  return 1;
}

int timer_scheduler_tx_rtos::RestartEvent(uint32_t id) {
  scheduler_hold h;
  if (!hold(&m_Mutex, &h)) return 0;
  int done = 0;
  list_node* n = Find(id);
  if (n && event_of(n)->m_byRepeat) {
    uint32_t now = tx_time_get();
    timer_event* e = event_of(n);
    e->m_uExpiry = now + e->m_uPeriod;
    Rearm(now);
    done = 1;
  }
  release(&m_Mutex, h);
  return done;
}

int timer_scheduler_tx_rtos::ChangePeriod(uint32_t id, uint32_t period) {
  scheduler_hold h;
  if (!hold(&m_Mutex, &h)) return 0;
  int done = 0;
  if (list_node* n = Find(id)) {
    uint32_t now = tx_time_get();
    event_of(n)->SetPeriod(now, period);
    Rearm(now);
    done = 1;
  }
  release(&m_Mutex, h);
  return done;
}

void timer_scheduler_tx_rtos::OnTimerExpiry(ULONG) {
  if (s_pInstance) s_pInstance->Expire();
}

// Runs in the timer context, where no thread is inside an operation. An
// event's Fire may call the service back (add, remove, restart), so the walk
// never keeps a pointer across a Fire: it finds the next event not yet
// visited in this pass, and finds a fired event again by its id.
void timer_scheduler_tx_rtos::Expire() {
  ++m_uExpiryRuns;
  const uint32_t now = tx_time_get();
  const uint32_t pass = ++m_uPass;
  for (;;) {
    list_node* n = m_Events.head;
    while (n && event_of(n)->m_uPass == pass) n = n->next;
    if (!n) break;
    timer_event* e = event_of(n);
    e->m_uPass = pass;
    if (!is_due(now, e->m_uExpiry)) continue;
    const uint32_t id = e->m_uId;
    e->Fire();
    n = Find(id);
    if (!n) continue;  // removed by its own Fire
    e = event_of(n);
    if (e->m_byRepeat)
      e->m_uExpiry = now + e->m_uPeriod;
    else
      list_remove(&m_Events, n);  // the owner keeps the object
  }
  if (m_Events.count)
    Rearm(now);
  else
    os_timer_deactivate(&m_Timer);
}
