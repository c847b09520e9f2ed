// The timer service: any number of timed events on one kernel timer, which
// is always programmed for the nearest expiry.
#pragma once

#include <cstdint>

#include "frame/timer/timer_event.h"
#include "frame/util/list.h"
#include "tx_api.h"

class timer_scheduler {
 public:
  virtual ~timer_scheduler() = default;
  // Returns the event's id (the first is 1), or 0 when refused. The event
  // stays its creator's until RemoveEvent; a one-shot event leaves the list
  // when it has fired but is not destroyed.
  virtual uint32_t AddEvent(timer_event* event, uint32_t period, uint8_t repeat) = 0;
  // 1 when found: unlinks and destroys the event.
  virtual int RemoveEvent(uint32_t id) = 0;
  // 1 when found and repeating: due one period from now.
  virtual int RestartEvent(uint32_t id) = 0;
  // 1 when found: the event's SetPeriod(now, period).
  virtual int ChangePeriod(uint32_t id, uint32_t period) = 0;
};

// The service that the message bus and the peripherals use; set when the
// service is created.
extern timer_scheduler* g_timer_scheduler;

class timer_scheduler_tx_rtos : public timer_scheduler {
 public:
  // The one service; the first call creates it with its "Scheduler" mutex and
  // timer (the kernel must exist).
  static timer_scheduler_tx_rtos* Instance();
  // Host side: forgets the service so that a new kernel gets a fresh one.
  // Events still listed belong to their creators and are not destroyed.
  static void DestroyInstance();

  uint32_t AddEvent(timer_event* event, uint32_t period, uint8_t repeat) override;
  int RemoveEvent(uint32_t id) override;
  int RestartEvent(uint32_t id) override;
  int ChangePeriod(uint32_t id, uint32_t period) override;

  // Expiry function of the "Scheduler" kernel timer.
  static void OnTimerExpiry(ULONG input);

  uint32_t EventCount() const { return m_Events.count; }
  // Number of expiry runs so far (diagnostics).
  uint32_t ExpiryRuns() const { return m_uExpiryRuns; }

 private:
  timer_scheduler_tx_rtos();
  ~timer_scheduler_tx_rtos() override;

  int Lock(uint8_t* locked);
  void Unlock(uint8_t locked);
  list_node* Find(uint32_t id) const;
  void Rearm(uint32_t now);
  void Expire();

  LIST m_Events{};  // items are timer_event pointers, in order of addition
  uint32_t m_uIdCounter = 0;
  TX_MUTEX m_Mutex{};
  TX_TIMER m_Timer{};
  uint32_t m_uPass = 0;
  uint32_t m_uExpiryRuns = 0;

  static timer_scheduler_tx_rtos* s_pInstance;
  static uint8_t s_byCreated;
};
