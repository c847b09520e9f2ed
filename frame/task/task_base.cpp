#include "frame/task/task_base.h"

#include <cstring>

#include "frame/trace/trace.h"

CTaskBase::CTaskBase(const char* name, uint32_t stack_size, uint32_t priority, uint32_t time_slice,
                     uint32_t timer_first, uint32_t timer_period)
    : m_byState(STATE_CONSTRUCTED),
      m_pszName(name),
      m_uStackSize(stack_size),
      m_uPriority(priority),
      m_uTimeSlice(time_slice),
      m_uTimerFirst(timer_first),
      m_uTimerPeriod(timer_period),
      m_uLateSteps(0),
      m_byLoopsPerSecond(1),
      m_uTickCount(0),
      m_uLoopCount(0),
      m_uStartTime(0) {}

int CTaskBase::Create(TX_BYTE_POOL* pool, void (*entry)(ULONG), void (*timer)(ULONG)) {
  void* stack = nullptr;
  os_status st = os_byte_allocate(pool, &stack, m_uStackSize, OS_NO_WAIT);
  if (st != OS_SUCCESS) {
    monitor_printf("%s Allocation Error:%d! Ptr:%08lx, Size:%d\n", m_pszName, static_cast<int>(st),
                   static_cast<unsigned long>(reinterpret_cast<uintptr_t>(stack)), static_cast<int>(m_uStackSize));
    stack = nullptr;
  } else {
    // The stack report counts the bytes that still hold the fill.
    std::memset(stack, STACK_FILL, m_uStackSize);
  }

  // Refused without a stack, so a failed allocation ends here too.
  UINT kst = tx_thread_create(&m_Thread, m_pszName, entry, 0, stack, m_uStackSize, m_uPriority, m_uPriority,
                              m_uTimeSlice, TX_AUTO_START);
  if (kst != TX_SUCCESS) {
    monitor_printf("%s Creation Error:%d! Stack:%d, Priority:%d, Time Slice:%d\n", m_pszName, static_cast<int>(kst),
                   static_cast<int>(m_uStackSize), static_cast<int>(m_uPriority), static_cast<int>(m_uTimeSlice));
    if (stack) os_byte_release(stack);
    return 0;
  }
  m_pStack = static_cast<uint8_t*>(stack);

  st = os_event_create(&m_Events, m_pszName);
  if (st != OS_SUCCESS) {
    monitor_printf("%s Creation Error:%d!\n", m_pszName, static_cast<int>(st));
    DeleteThread();
    return 0;
  }

  if (timer) {
    st = os_timer_create(&m_Timer, m_pszName, timer, m_uTimerFirst, m_uTimerPeriod, 1);
    if (st != OS_SUCCESS) {
      monitor_printf("%s Creation Error:%d!\n", m_pszName, static_cast<int>(st));
      os_event_delete(&m_Events);
      DeleteThread();
      return 0;
    }
    m_byLoopsPerSecond = static_cast<uint8_t>(m_uTimerPeriod ? TICKS_PER_SECOND / m_uTimerPeriod : 0);
    m_uStartTime = tx_time_get();
  }

  m_byState = STATE_CREATED;
  return 1;
}

// The thread must not outlive its stack: end it before the stack goes back.
void CTaskBase::DeleteThread() {
  tx_thread_terminate(&m_Thread);
  tx_thread_delete(&m_Thread);
  if (m_pStack) os_byte_release(m_pStack);
  m_pStack = nullptr;
}

int CTaskBase::Resume() {
  os_timer_activate(&m_Timer);
  tx_thread_resume(&m_Thread);
  return 1;
}

int CTaskBase::Suspend() {
  os_timer_deactivate(&m_Timer);
  tx_thread_suspend(&m_Thread);
  return 1;
}

int CTaskBase::Process() {
  ++m_uLoopCount;
  return 0;
}

void CTaskBase::GetUptimeSeconds(uint32_t* seconds) const {
  if (seconds && m_byLoopsPerSecond) *seconds = m_uTickCount / m_byLoopsPerSecond;
}

void CTaskBase::GetUptime(uptime_s* out) const {
  if (!out) return;
  uint32_t s = 0;
  GetUptimeSeconds(&s);
  out->seconds = s % 60;
  out->minutes = (s / 60) % 60;
  out->hours = (s / 3600) % 24;
  out->days = (s / 86400) % 365;
  out->years = s / 31536000;
}

void CTaskBase::TimerExpired() {
  ++m_uTickCount;
  os_event_set(&m_Events, FLAG_TIMER, OS_EVENT_OR);
}

os_status CTaskBase::WaitForTimer() {
  for (;;) {
    uint32_t actual = 0;
    os_status st = os_event_get(&m_Events, FLAG_TIMER, OS_EVENT_OR_CLEAR, &actual, OS_WAIT_FOREVER);
    if (st == OS_SUCCESS || st == OS_WAIT_ABORTED) return st;
    // The group is made just after the thread, which may run first when
    // created from a less urgent thread: look again next tick, never spin.
    os_sleep(1);
  }
}

void CTaskBase::Run(const char* start_name, post_office* router, uint32_t check_in) {
  WaitForTimer();
  monitor_printf_debug("%s Start...\n", start_name);
  OnStart();
  if (router && check_in) {
    router->Publish(check_in);
    router->Publish(check_in + 1);
  }
  for (;;) {
    WaitForTimer();
    if (router && check_in) router->Publish(check_in + 1);
    Process();
  }
}

int CTaskBase::HandleControlLetter(subscriber* inbox, letter_s* letter, const task_letters_s& ids) {
  if (!letter || letter->Id() < ids.control || letter->Id() > ids.control + 3) return 0;
  post_office* router = inbox ? inbox->Router() : nullptr;
  const bool watched = router && ids.check_in;
  switch (letter->Id() - ids.control) {
    case 0:  // stop: for good
      if (watched) router->Publish(ids.check_in + 2);
      os_timer_deactivate(&m_Timer);
      if (inbox) inbox->Release(letter);
      tx_thread_terminate(&m_Thread);
      break;
    case 1:  // suspend: until another thread resumes the thread directly
      if (ids.suspend_text) monitor_printf("%s", ids.suspend_text);
      if (watched) router->Publish(ids.check_in + 2);
      os_timer_deactivate(&m_Timer);
      tx_thread_suspend(&m_Thread);
      break;
    case 2:  // resume
      if (ids.resume_text) monitor_printf("%s", ids.resume_text);
      if (watched) router->Publish(ids.check_in);
      os_timer_activate(&m_Timer);
      tx_thread_resume(&m_Thread);
      break;
    default:  // stack report
      ReportStack(ids.stack_name);
      break;
  }
  return 1;
}

void CTaskBase::ReportStack(const char* stack_name) const {
  if (!m_pStack) return;
  uint32_t i = 0;
  while (i < m_uStackSize && m_pStack[i] == STACK_FILL) ++i;
  if (i == m_uStackSize) return;
  const uintptr_t start = reinterpret_cast<uintptr_t>(m_pStack);
  monitor_printf("%s Stack Used: %d/%d. 0x%08lX-0x%08lX Current:0x%08lX\n", stack_name,
                 static_cast<int>(m_uStackSize - i), static_cast<int>(m_uStackSize),
                 static_cast<unsigned long>(start), static_cast<unsigned long>(start + m_uStackSize),
                 static_cast<unsigned long>(start + i));
}
