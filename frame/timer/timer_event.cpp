#include "frame/timer/timer_event.h"

void timer_event::SetPeriod(uint32_t now, uint32_t period) {
  m_uExpiry = now + period;
  m_uPeriod = period;
}

void wake_thread_event::Fire() {
  if (m_byArmed && m_pThread) tx_thread_resume(m_pThread);
}

void wake_thread_event::SetPeriod(uint32_t now, uint32_t period) {
  timer_event::SetPeriod(now, period);
  m_byArmed = 1;
}
