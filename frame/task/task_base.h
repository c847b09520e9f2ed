// The base of the application tasks: one kernel thread that runs a step each
// time its periodic kernel timer sets flag 0x4 in the task's event flags.
// The subclass owns its inbox (a subscriber signalling flag 0x1 of the same
// group), its thread entry and its timer function; the helpers below are
// the pieces of the pattern that every task shares.
#pragma once

#include <cstdint>

#include "frame/bus/letter.h"
#include "frame/bus/post_office.h"
#include "frame/bus/subscriber.h"
#include "frame/os/os.h"
#include "tx_api.h"

struct uptime_s {
  uint32_t years;
  uint32_t days;
  uint32_t hours;
  uint32_t minutes;
  uint32_t seconds;
};

// A task's letters: its four control ids and its watchdog check-ins, and
// the texts it prints for them.
struct task_letters_s {
  uint32_t control;           // stop; suspend, resume and stack report follow
  uint32_t check_in;          // watchdog start; alive and stop follow; 0 = not watched
  const char* suspend_text;   // "Suspending monitor task\n"
  const char* resume_text;    // "Resuming monitor task\n"
  const char* stack_name;     // "Monitor" as in "Monitor Stack Used: ..."
};

class CTaskBase {
 public:
  enum : uint8_t { STATE_CONSTRUCTED = 0, STATE_CREATED = 2 };
  enum : uint32_t { FLAG_LETTER = 0x1, FLAG_TIMER = 0x4 };
  enum : uint8_t { STACK_FILL = 0xEF };
  enum : uint32_t { TICKS_PER_SECOND = 100 };

  CTaskBase(const char* name, uint32_t stack_size, uint32_t priority, uint32_t time_slice, uint32_t timer_first,
            uint32_t timer_period);
  virtual ~CTaskBase() = default;
  CTaskBase(const CTaskBase&) = delete;
  CTaskBase& operator=(const CTaskBase&) = delete;

  // Takes the stack from the pool and creates the thread (started, but held
  // on its first timer flag), the event flags and the timer (when a timer
  // function is given). 1 on success; on failure everything made so far is
  // undone and 0 returned.
  int Create(TX_BYTE_POOL* pool, void (*entry)(ULONG), void (*timer)(ULONG));
  // Activates the timer, then resumes the thread.
  int Resume();
  // Deactivates the timer, then suspends the thread.
  int Suspend();
  // One step; every subclass calls it first.
  virtual int Process();

  // Uptime from the timer expiries; left untouched while the task has 0
  // loops per second (a period above 100 ticks).
  void GetUptimeSeconds(uint32_t* seconds) const;
  // Split into 365-day years; all 0 while the seconds are not computed.
  void GetUptime(uptime_s* out) const;

  // Pattern pieces.
  // Timer function body: one more expiry, and flag 0x4.
  void TimerExpired();
  // Waits for flag 0x4 (OR and clear). Returns early when a request aborts
  // the wait, so that the task steps at once.
  os_status WaitForTimer();
  // The thread entry's body: first expiry, "%s Start...\n", OnStart, the
  // check-ins (when watched), then forever: wait, alive, Process.
  void Run(const char* start_name, post_office* router, uint32_t check_in);
  // Handles a control letter of the task's (1) or leaves it (0). The caller
  // gives the letter back to the inbox afterwards; a stop gives it back
  // itself, as the thread ends there.
  int HandleControlLetter(subscriber* inbox, letter_s* letter, const task_letters_s& ids);
  // "<name> Stack Used: used/size. start-end Current:deepest"; nothing while
  // the whole stack still holds the fill byte.
  void ReportStack(const char* stack_name) const;

  const char* Name() const { return m_pszName; }
  uint8_t State() const { return m_byState; }
  uint8_t LoopsPerSecond() const { return m_byLoopsPerSecond; }
  uint32_t TickCount() const { return m_uTickCount; }
  uint32_t LoopCount() const { return m_uLoopCount; }
  uint32_t StartTime() const { return m_uStartTime; }
  uint32_t StackSize() const { return m_uStackSize; }
  uint8_t* Stack() const { return m_pStack; }
  TX_THREAD* Thread() { return &m_Thread; }
  TX_TIMER* Timer() { return &m_Timer; }
  TX_EVENT_FLAGS_GROUP* Events() { return &m_Events; }

 protected:
  // One-time initialisation in the task's thread, before the check-ins.
  virtual void OnStart() {}

 private:
  void DeleteThread();

 protected:

  uint8_t m_byState;
  const char* m_pszName;
  uint32_t m_uStackSize;
  uint32_t m_uPriority;
  uint32_t m_uTimeSlice;
  uint32_t m_uTimerFirst;
  uint32_t m_uTimerPeriod;
  uint16_t m_uLateSteps;  // not used here; the display task counts late steps
  TX_THREAD m_Thread{};
  TX_TIMER m_Timer{};
  TX_EVENT_FLAGS_GROUP m_Events{};
  uint8_t m_byLoopsPerSecond;
  uint32_t m_uTickCount;
  uint32_t m_uLoopCount;
  uint32_t m_uStartTime;
  uint8_t* m_pStack = nullptr;  // from the pool; the report scans it
};
