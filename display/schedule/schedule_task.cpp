#include "display/schedule/schedule_task.h"

#include <cstring>

#include "comm/ntcip_endpoint.h"
#include "database/database.h"
#include "database/objects.h"
#include "display/message/db_read.h"
#include "display/tables/message_table.h"
#include "display/task/display_db.h"
#include "frame/peripheral/peripheral_trap.h"
#include "frame/trace/trace.h"

uint8_t g_tcp_client_connected = 0;

namespace {

schedule_services s_services;
// The task whose thread and timer run: the one created last.
CScheduleTask* s_pTask = nullptr;

// Its control letters, the event logger's 6 to 21 and 22, the trap client's
// 32 and 33, and the schedule message's activation.
const uint32_t kScheduleIds[] = {MSG_SCHEDULE_STOP, MSG_SCHEDULE_SUSPEND, MSG_SCHEDULE_RESUME, MSG_SCHEDULE_STACK_REPORT,
                                 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, MSG_EVENT_CLASS_LIMIT,
                                 MSG_TCP_CLIENT_CONNECTED, MSG_TCP_CLIENT_CLOSED, MSG_MESSAGE_ACTIVATED, 0};

const task_letters_s kLetters = {MSG_SCHEDULE_STOP, MSG_WDT_SCHEDULE_START, "Suspending schedule task\n",
                                 "Resuming schedule task\n", "Schedule"};

constexpr uint32_t kEventClasses = 16;
constexpr uint32_t kTrapDestinationFlag = 0x80000;
constexpr uint32_t kStartSleepTicks = 40;
constexpr uint32_t kClockReadingTries = 25;  // ten seconds more at most
constexpr uint16_t kForever = 0xFFFF;
constexpr uint8_t kSlot = 6;
constexpr uint8_t kReasonRequest = 2;
constexpr uint8_t kSourcePowerRecovery = 10;
constexpr uint8_t kSourceReset = 11;
constexpr uint8_t kLongPowerLossReason = 7;

enum : uint8_t { RESET_COLD = 0, RESET_WARM = 1 };
enum : uint32_t { TRAP_COLD_START = 0, TRAP_WARM_START = 1 };


}  // namespace

CMsgActivationCode CScheduleTask::LocalCode(uint16_t duration, uint8_t type, uint16_t number, uint16_t crc) {
  CMsgActivationCode code;
  code.m_wDuration = duration;
  code.m_byPriority = 255;
  code.m_byMemoryType = type;
  code.m_wMessageNumber = number;
  code.m_wCRC = crc;
  const uint8_t local[4] = {127, 0, 0, 1};
  std::memcpy(code.m_bySource, local, sizeof local);
  code.Encode();
  return code;
}

void schedule_set_services(const schedule_services& services) { s_services = services; }
const schedule_services& schedule_get_services() { return s_services; }

CScheduleTask::CScheduleTask(post_office* router, const uint8_t* reset_mode)
    : CTaskBase("Schedule", STACK, PRIORITY, SLICE, TIMER_FIRST, TIMER_PERIOD),
      m_Inbox(router, Events(), FLAG_LETTER, Thread()),
      m_pResetMode(reset_mode) {}

CScheduleTask::~CScheduleTask() {
  if (s_pTask == this) s_pTask = nullptr;
}

int CScheduleTask::Create(TX_BYTE_POOL* pool) {
  s_pTask = this;
  return CTaskBase::Create(pool, TaskEntry, TimerEntry);
}

int CScheduleTask::Subscribe() { return m_Inbox.Subscribe(kScheduleIds); }

void CScheduleTask::TaskEntry(ULONG) {
  CScheduleTask* task = s_pTask;
  if (task) task->Run("Schedule Task", task->m_Inbox.Router(), MSG_WDT_SCHEDULE_START);
}

void CScheduleTask::TimerEntry(ULONG) {
  if (s_pTask) s_pTask->TimerExpired();
}

int CScheduleTask::Initialize() {
  CheckResetType(1);
  m_byInitialised = 1;
  return 0;
}

int CScheduleTask::Process() {
  CTaskBase::Process();
  // The logger steps from the very first step on.
  if (s_services.event_log_update) s_services.event_log_update();
  if (!m_byInitialised) return -1;
  ApplyTrapDestination();
  ProcessLetters();
  ReadClock();
  if (m_byFirstPass) {
    m_byFirstPass = 0;
  } else {
    EvaluateSchedule();
  }
  return 0;
}

void CScheduleTask::ApplyTrapDestination() {
  uint32_t actual = 0;
  if (os_event_get(&g_database_flags, kTrapDestinationFlag, OS_EVENT_AND_CLEAR, &actual, OS_NO_WAIT) != OS_SUCCESS)
    return;
  const uint32_t address = nv_value(nv::quorRemoteIPAddress);
  const uint16_t port = static_cast<uint16_t>(nv_value(nv::quorRemoteIPPort));
  g_ntcip_ip.SetTrapAddress(address);
  g_ntcip_ip.SetTrapPort(port);
  if (s_services.trap_clients_configure) s_services.trap_clients_configure(address, port);
}

void CScheduleTask::ProcessLetters() {
  letter_s* letter = nullptr;
  while (m_Inbox.Receive(&letter)) {
    const uint32_t id = letter->Id();
    if (id >= MSG_EVENT_CLASS_CLEAR_TIME && id < MSG_EVENT_CLASS_CLEAR_TIME + kEventClasses) {
      if (s_services.event_log_clear_by_time) s_services.event_log_clear_by_time(id - MSG_EVENT_CLASS_CLEAR_TIME);
    } else if (id == MSG_EVENT_CLASS_LIMIT) {
      if (s_services.event_log_trim) s_services.event_log_trim();
    } else if (id == MSG_TCP_CLIENT_CONNECTED) {
      g_tcp_client_connected = 1;
    } else if (id == MSG_TCP_CLIENT_CLOSED) {
      g_tcp_client_connected = 0;
    } else if (id == MSG_MESSAGE_ACTIVATED) {
      StartSchedule();
    } else if (id == MSG_SCHEDULE_STOP) {
      // Gives the letter back itself and ends the thread.
      HandleControlLetter(&m_Inbox, letter, kLetters);
      return;
    } else {
      HandleControlLetter(&m_Inbox, letter, kLetters);
    }
    m_Inbox.Release(letter);
  }
}

void CScheduleTask::ReadClock() {
  // Looked up each time: a reloaded peripheral list (or a new start) has
  // a clock of its own.
  m_pClock = s_services.find_clock ? s_services.find_clock() : nullptr;
  if (!m_pClock || !s_services.clock_local_date) return;
  calendar_record date{};
  // An invalid clock leaves the last date.
  if (s_services.clock_local_date(m_pClock, &date)) m_LocalDate = date;
}

void CScheduleTask::RequestInSlot(uint8_t source_mode, const CMsgActivationCode& code) {
  set_vol(vol::activationSlotSourceMode(kSlot), source_mode, DB_NOTIFY);
  set_vol(vol::activationSlotReason(kSlot), kReasonRequest, DB_NOTIFY);
  // The code's write makes the display arbitrate.
  set_vol_bytes(vol::activationSlotCode(kSlot), code.m_encoded, MSG_ACTIVATION_CODE_SIZE, DB_NOTIFY);
}

void CScheduleTask::StartSchedule() {
  set_nv_bytes(nv::scheduleMessageMultiString, "", 0, DB_NOTIFY);
  set_nv_bytes(nv::scheduleMessageOwner, "", 0, DB_NOTIFY);
  set_nv(nv::scheduleMessageCRC, 0, DB_NOTIFY);
  set_nv(nv::scheduleMessageBeacon, 0, DB_NOTIFY);
  set_nv(nv::scheduleMessagePixelService, 0, DB_NOTIFY);
  set_nv(nv::scheduleMessageStatus, MSG_STATUS_VALID, DB_NOTIFY);
  RequestInSlot(SCHEDULE_SOURCE_MODE, LocalCode(kForever, MEMORY_BLANK, MSG_BLANK_MAX, 0));
}

void CScheduleTask::CheckResetType(int first) {
  // sysLocation.0 and globalTime.0, the bindings of both start reports,
  // taken before the clock's first reading (the traps go out later).
  peripheral_trap_binding bindings[2] = {};
  peripheral_trap_origin origin;
  peripheral_trap_origin_bindings(bindings, &origin);
  const uint32_t display_mode = nv_value(nv::quorDisplayMode);

  // Gives the clock its first reading.
  os_sleep(kStartSleepTicks);
  uint32_t outage = 0;
  void* clock = s_services.find_clock ? s_services.find_clock() : nullptr;
  if (clock) {
    // A clock busy with its start gives no reading yet; an outage taken as
    // none would run a timed message for its whole time again.
    for (uint32_t tries = 0; s_services.clock_startup_time && !s_services.clock_startup_time(clock, &outage) &&
                             tries < kClockReadingTries;
         ++tries)
      os_sleep(kStartSleepTicks);
  } else {
    monitor_printf("CScheduleTask::CheckResetType: error finding clock\n");
  }

  const uint8_t mode = m_pResetMode ? *m_pResetMode : static_cast<uint8_t>(RESET_COLD);
  db_object message = nv::dmsResetMessage;
  uint8_t source = kSourceReset;
  if (mode == RESET_COLD) {
    if (first) {
      peripheral_send_trap(TRAP_COLD_START, 0, 0, nullptr);
      peripheral_send_trap(TRAP_ENTERPRISE_SPECIFIC, TRAP_COLD_START_REPORT, 2, bindings);
    }
    const uint32_t short_loss = nv_value(nv::dmsShortPowerLossTime);
    if (short_loss != 0 && outage < short_loss) {
      message = nv::dmsShortPowerRecoveryMessage;
    } else {
      set_vol(vol::quorActivationReason, kLongPowerLossReason, DB_NOTIFY);
      message = nv::dmsLongPowerRecoveryMessage;
    }
    source = kSourcePowerRecovery;
  } else if (mode == RESET_WARM) {
    if (first) {
      peripheral_send_trap(TRAP_WARM_START, 0, 0, nullptr);
      peripheral_send_trap(TRAP_ENTERPRISE_SPECIFIC, TRAP_WARM_START_REPORT, 2, bindings);
    }
  }

  uint32_t length = 0;
  const uint8_t* bytes = nv_bytes(message, &length);
  CMsgIDCode id;
  // A message ID code that is not 5 bytes long names no message either.
  if (length == 0 || !id.Decode(bytes, length)) {
    monitor_printf("CScheduleTask::CheckResetType: error null pointer\n");
  } else if (id.m_byMemoryType == MEMORY_CURRENT_BUFFER) {
    // The message that ran before the restart, for what is left of its time.
    const uint8_t* last_bytes = nv_bytes(nv::quorLastActivatedCode, &length);
    CMsgActivationCode last;
    if (last.Decode(last_bytes, length)) {
      const uint32_t outage_minutes = outage / 60;
      uint16_t duration = static_cast<uint16_t>(nv_value(nv::dmsMessageTimeRemaining));
      bool blank = false;
      if (duration != kForever) {
        if (duration > outage_minutes)
          duration = static_cast<uint16_t>(duration - outage_minutes);
        else
          blank = true;  // it ran out while the power was off
      }
      // A volatile message did not survive the restart.
      if (last.m_byMemoryType == MEMORY_VOLATILE) blank = true;
      if (blank) {
        RequestInSlot(source, LocalCode(kForever, MEMORY_BLANK, 1, 0));
      } else {
        RequestInSlot(source, LocalCode(duration, last.m_byMemoryType, last.m_wMessageNumber, last.m_wCRC));
      }
    }
  } else {
    RequestInSlot(source, LocalCode(kForever, id.m_byMemoryType, id.m_wMessageNumber, id.m_wCRC));
  }

  // The activation puts the display mode back to 1; a special mode
  // survives the restart.
  if (display_mode != 1) set_nv(nv::quorDisplayMode, display_mode, DB_NOTIFY);
}
