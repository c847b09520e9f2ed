// The "Schedule" task: two steps a second. It steps the NTCIP event
// logger, requests the power-recovery or reset message once at start (with
// the cold-start and warm-start traps), follows the trap manager's address,
// and runs the NTCIP time-base schedule from the clock's local date while
// the scheduler owns the sign (dmsMsgSourceMode 9). Everything it requests
// goes through activation slot 6.
#pragma once

#include <cstdint>

#include "display/codes/msg_codes.h"
#include "display/render/render_time.h"
#include "frame/bus/subscriber.h"
#include "frame/task/task_base.h"

// What the task needs of subsystems built apart from the display: the
// board clock (peripheral type 90), the NTCIP event logger and the trap
// clients. A null member stands for a service that is not there: no clock,
// no logger step, no client to re-bind. Traps go out through
// peripheral_send_trap, where the agent installs its sender.
struct schedule_services {
  // The live clock peripheral, or null (the peripheral task's lookup).
  void* (*find_clock)() = nullptr;
  // 1 and the local date; 0 while the clock has no valid time yet.
  int (*clock_local_date)(void* clock, calendar_record* out) = nullptr;
  // 1 and the length of the last power outage in seconds; 0 while not valid.
  int (*clock_startup_time)(void* clock, uint32_t* seconds) = nullptr;
  // The event logger's step, its clearing of class c by its clear time and
  // its trimming of every class to its limit.
  void (*event_log_update)() = nullptr;
  void (*event_log_clear_by_time)(uint32_t event_class) = nullptr;
  void (*event_log_trim)() = nullptr;
  // Re-binds the trap TCP and UDP clients to the trap manager.
  void (*trap_clients_configure)(uint32_t address, uint16_t port) = nullptr;
};

// Installed by the subsystems that provide them; replaces the whole set.
void schedule_set_services(const schedule_services& services);
const schedule_services& schedule_get_services();

// Set while the trap manager's TCP client is connected (letters 32 and 33);
// the Ethernet trap sender reads it.
extern uint8_t g_tcp_client_connected;

class CScheduleTask : public CTaskBase {
 public:
  enum : uint32_t { STACK = 4096, PRIORITY = 2, SLICE = 0, TIMER_FIRST = 100, TIMER_PERIOD = 50 };
  // The trap number of each start kind, enterprise-specific.
  enum : uint32_t { TRAP_COLD_START_REPORT = 19, TRAP_WARM_START_REPORT = 20 };
  // Entries, day plans and events the evaluation scans, and the actions.
  enum : uint32_t { SCHEDULE_ENTRIES = 29, DAY_PLANS = 20, DAY_PLAN_EVENTS = 24, ACTIONS = 255 };
  // dmsMsgSourceMode timebasedScheduler: the scheduler owns the sign.
  enum : uint8_t { SCHEDULE_SOURCE_MODE = 9 };

  // reset_mode: where start-up keeps the kind of this start (0 cold start,
  // 1 warm start, 2 after a short power loss); read when the task starts.
  CScheduleTask(post_office* router, const uint8_t* reset_mode);
  ~CScheduleTask() override;

  // The thread with its stack from the pool, and the timer; 1 on success.
  int Create(TX_BYTE_POOL* pool);
  int Subscribe();
  // Once, in the task's thread before its check-ins: the start message.
  int Initialize();
  // One step: -1 while not initialised, else 0.
  int Process() override;

  // Reports the kind of the last start (first: with its traps) and requests
  // the power-recovery or reset message.
  void CheckResetType(int first);
  // Empties the schedule message row and requests a blank with source mode
  // 9: the scheduler owns the sign from here on.
  void StartSchedule();
  // One evaluation of the time-base schedule at the task's local date.
  void EvaluateSchedule();

  subscriber& Inbox() { return m_Inbox; }
  uint8_t Initialised() const { return m_byInitialised; }
  const calendar_record& LocalDate() const { return m_LocalDate; }
  // The date the evaluation works with, until the clock gives another.
  void SetLocalDate(const calendar_record& date) { m_LocalDate = date; }

 protected:
  void OnStart() override { Initialize(); }

 private:
  static void TaskEntry(ULONG);
  static void TimerEntry(ULONG);
  void ProcessLetters();
  void ApplyTrapDestination();
  void ReadClock();
  void RequestInSlot(uint8_t source_mode, const CMsgActivationCode& code);
  // A code the controller requests itself: lowest priority, from 127.0.0.1.
  static CMsgActivationCode LocalCode(uint16_t duration, uint8_t type, uint16_t number, uint16_t crc);

  // The best entry for a date: its index, or -1.
  int FindEntry(const calendar_record& date) const;
  // The event of the day plan in force at hour:minute: its index, or -1.
  int FindEvent(uint32_t entry, int32_t hour, int32_t minute) const;
  // Requests the message of the event's action; see the evaluation.
  void RequestAction(uint32_t entry, uint32_t plan, uint32_t event);

  subscriber m_Inbox;
  const uint8_t* m_pResetMode;
  uint8_t m_byInitialised = 0;
  calendar_record m_LocalDate{};
  uint8_t m_byFirstPass = 1;
  void* m_pClock = nullptr;
  // Set while the schedule has an entry, and an event, in force: the first
  // evaluation without one ends the schedule period once.
  uint8_t m_byEntryActive = 1;
  uint8_t m_byEventActive = 1;
};
