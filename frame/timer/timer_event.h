// Timed events run by the timer service: one-shot or repeating work that the
// service calls in the kernel's timer context when its tick comes.
#pragma once

#include <cstdint>

#include "tx_api.h"

class timer_scheduler_tx_rtos;

class timer_event {
 public:
  timer_event() = default;
  virtual ~timer_event() = default;
  timer_event(const timer_event&) = delete;
  timer_event& operator=(const timer_event&) = delete;

  // The event's work. Runs in the timer context: it may resume threads, set
  // event flags and call the service, but never wait.
  virtual void Fire() = 0;
  // Next expiry one period from now.
  virtual void SetPeriod(uint32_t now, uint32_t period);

  uint32_t Expiry() const { return m_uExpiry; }
  uint32_t Period() const { return m_uPeriod; }
  uint8_t Repeat() const { return m_byRepeat; }
  uint32_t Id() const { return m_uId; }

 protected:
  uint32_t m_uExpiry = 0;  // tick at which the event is due
  uint32_t m_uPeriod = 0;
  uint8_t m_byRepeat = 0;  // 1 = rescheduled after firing
  uint32_t m_uId = 0;      // given by AddEvent

 private:
  friend class timer_scheduler_tx_rtos;
  uint32_t m_uPass = 0;  // last expiry pass that visited the event
};

// Resumes a suspended thread, but only once armed by SetPeriod: added with
// AddEvent it fires without effect until someone changes its period.
class wake_thread_event : public timer_event {
 public:
  explicit wake_thread_event(TX_THREAD* thread) : m_pThread(thread) {}
  void Fire() override;
  void SetPeriod(uint32_t now, uint32_t period) override;

  uint8_t Armed() const { return m_byArmed; }

 protected:
  TX_THREAD* m_pThread;
  uint8_t m_byArmed = 0;
};
