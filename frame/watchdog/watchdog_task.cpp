#include "frame/watchdog/watchdog_task.h"

#include <cstring>

#include "board_io.h"
#include "frame/bus/letter.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"
#include "mon_api.h"

CWatchdogTask* g_pWatchdog = nullptr;
uint8_t g_reset_preserve_flags = RESET_PRESERVE_CONFIG;
uint16_t g_reset_wait_countdown = 20;

namespace {

const uint32_t kSubscriptions[] = {
    MSG_WATCHDOG_STOP,     MSG_WATCHDOG_SUSPEND,     MSG_WATCHDOG_RESUME,   MSG_WATCHDOG_STACK_REPORT,
    MSG_COMM_RUNNING_QUERY, MSG_WDT_DISPLAY_START,   MSG_WDT_DISPLAY_ALIVE, MSG_WDT_DISPLAY_STOP,
    MSG_WDT_SCHEDULE_START, MSG_WDT_SCHEDULE_ALIVE,  MSG_WDT_SCHEDULE_STOP, MSG_WDT_PERIPHERAL_START,
    MSG_WDT_PERIPHERAL_ALIVE, MSG_WDT_PERIPHERAL_STOP, MSG_WDT_MONITOR_START, MSG_WDT_MONITOR_ALIVE,
    MSG_WDT_MONITOR_STOP,  MSG_SYSTEM_RESET,         MSG_POWER_SHUTDOWN,    MSG_SHUTDOWN_RESET,
    MSG_DEFRAG_RESET,      MSG_WDT_COMM_START,       MSG_WDT_COMM_ALIVE,    MSG_WDT_COMM_STOP,
    MSG_WATCHDOG_DISABLE,  MSG_WATCHDOG_ENABLE,      0};

struct watched_task {
  const char* name;
  uint32_t start;  // alive and stop follow; 0: no check-ins
};
const watched_task kWatched[CWatchdogTask::WATCHED_TASKS] = {
    {"Display", MSG_WDT_DISPLAY_START},       {"Schedule", MSG_WDT_SCHEDULE_START},
    {"Monitor", MSG_WDT_MONITOR_START},       {"Peripheral", MSG_WDT_PERIPHERAL_START},
    {"Database", 0},                          {"Communication", MSG_WDT_COMM_START},
};
constexpr uint32_t kCommunication = 5;

// Stop letters of the reset sequence, in order.
const uint32_t kStopIds[] = {MSG_DISPLAY_STOP, MSG_MONITOR_STOP, MSG_SCHEDULE_STOP, MSG_DATABASE_STOP,
                             MSG_PERIPHERAL_STOP, MSG_WATCHDOG_STOP, MSG_COMM_STOP};

}  // namespace

CWatchdogTask::CWatchdogTask(post_office* router)
    : CTaskBase("Watchdog", 1000, 1, 0, 1, 50), m_Inbox(router, Events(), 1, Thread()) {
  g_pWatchdog = this;
}

CWatchdogTask::~CWatchdogTask() {
  if (g_pWatchdog == this) g_pWatchdog = nullptr;
}

void CWatchdogTask::ThreadEntry(ULONG) { g_pWatchdog->Run("Watchdog Task", nullptr, 0); }

void CWatchdogTask::Tick(ULONG) { g_pWatchdog->TimerExpired(); }

int CWatchdogTask::Create(TX_BYTE_POOL* pool) { return CTaskBase::Create(pool, ThreadEntry, Tick); }

int CWatchdogTask::Subscribe() { return m_Inbox.Subscribe(kSubscriptions); }

const char* CWatchdogTask::TaskName(uint32_t index) {
  return index < WATCHED_TASKS ? kWatched[index].name : nullptr;
}

int CWatchdogTask::TaskIndex(const char* name) {
  if (!name) return TASK_NOT_FOUND;
  for (uint32_t i = 0; i < WATCHED_TASKS; ++i)
    if (std::strcmp(kWatched[i].name, name) == 0) return static_cast<int>(i);
  return TASK_NOT_FOUND;
}

int CWatchdogTask::IsWatched(const char* name) const {
  int i = TaskIndex(name);
  return i != TASK_NOT_FOUND && m_adwReload[i] != 0;
}

void CWatchdogTask::OnStart() {
  Init();
  reg_write8(KICK_REGISTER, reg_read8(KICK_REGISTER) & ~0x10);
}

void CWatchdogTask::Init() {
  m_byHardwareEnabled = 1;
  mon_watchdog();
  mon_watchdog_enable(1);
  mon_watchdog();
  m_bMutex = os_mutex_create(&m_Mutex, "wdt", 0) == OS_SUCCESS;
  if (!m_bMutex) monitor_printf("mutex_create failed wdt\n");
  m_bSemaphore = os_semaphore_create(&m_Semaphore, "wdt", DISABLE_LIMIT) == OS_SUCCESS;
  if (!m_bSemaphore) monitor_printf("semaphore_create failed wdt\n");
}

// Without a mutex (its creation failed) the task runs unlocked.
bool CWatchdogTask::Lock() { return !m_bMutex || os_mutex_get(&m_Mutex, OS_WAIT_FOREVER) == OS_SUCCESS; }

void CWatchdogTask::Unlock(bool locked) {
  if (locked && m_bMutex) os_mutex_put(&m_Mutex);
}

int CWatchdogTask::Enable() {
  if (!m_bSemaphore || !Lock()) return 0;
  uint32_t count = DISABLE_LIMIT;
  os_semaphore_info(&m_Semaphore, nullptr, &count);
  int done = 0;
  // An enable without a disable gives nothing back: the count never rises
  // above the limit, so later disables still switch the watchdog off and
  // their enables still switch it on.
  if (count < DISABLE_LIMIT && os_semaphore_put(&m_Semaphore) == OS_SUCCESS) {
    done = 1;
    if (count + 1 == DISABLE_LIMIT) {
      monitor_printf_debug("Enabling Watchdog Timer\n");
      mon_watchdog();
      mon_watchdog_enable(1);
      mon_watchdog();
      m_byHardwareEnabled = 1;
    }
  } else if (count >= DISABLE_LIMIT) {
    monitor_printf_debug("CWatchdogTask::Enable: no disable outstanding\n");
  }
  Unlock(true);
  return done;
}

int CWatchdogTask::Disable() {
  if (!m_bSemaphore || !Lock()) return 0;
  int done = 0;
  // Never waits for a unit while holding the lock: the enables that would
  // give one back need the lock themselves.
  if (os_semaphore_get(&m_Semaphore, OS_NO_WAIT) == OS_SUCCESS) {
    monitor_printf_debug("Disabling Watchdog Timer\n");
    mon_watchdog_enable(0);
    m_byHardwareEnabled = 0;
    done = 1;
  } else {
    monitor_printf("CWatchdogTask::Disable: %d disables outstanding, refused\n", static_cast<int>(DISABLE_LIMIT));
  }
  Unlock(true);
  return done;
}

int CWatchdogTask::Process() {
  CTaskBase::Process();
  HandleMessages();
  CheckTasks();
  ResetStateMachine();
  return 0;
}

void CWatchdogTask::HandleMessages() {
  post_office* router = m_Inbox.Router();
  letter_s* letter = nullptr;
  while (m_Inbox.Receive(&letter)) {
    const uint32_t id = letter->Id();
    bool check_in = false;
    for (uint32_t i = 0; i < WATCHED_TASKS && !check_in; ++i) {
      const uint32_t start = kWatched[i].start;
      if (!start || id < start || id > start + 2) continue;
      check_in = true;
      if (id == start) {
        m_adwReload[i] = CHECK_IN_CYCLES;
        m_adwCounter[i] = CHECK_IN_CYCLES;
      } else if (id == start + 1) {
        m_adwCounter[i] = m_adwReload[i];
      } else {
        m_adwReload[i] = 0;
      }
    }
    if (!check_in) {
      switch (id) {
        case MSG_WATCHDOG_STOP:
          break;
        case MSG_WATCHDOG_SUSPEND:
          // A suspended watchdog task would leave the board without a
          // watchdog until a resume that the console cannot send.
          monitor_printf("Suspending watchdog task refused: the hardware watchdog stays armed\n");
          break;
        case MSG_WATCHDOG_RESUME:
          monitor_printf("Resuming watchdog task\n");
          Enable();
          os_timer_activate(Timer());
          tx_thread_resume(Thread());
          break;
        case MSG_WATCHDOG_STACK_REPORT:
          ReportStack("Watchdog");
          break;
        case MSG_COMM_RUNNING_QUERY: {
          letter_s reply(MSG_COMM_RUNNING_REPLY);
          reply.kind = LETTER_KIND_NONE;
          reply.payload[0] = m_adwReload[kCommunication] != 0 ? 1 : 0;
          if (router) router->Reply(letter, &reply);
          break;
        }
        case MSG_SYSTEM_RESET:
          m_byResetState = RESET_REQUESTED;
          m_byResetType = RESET_SYSTEM;
          break;
        case MSG_SHUTDOWN_RESET:
          m_byResetState = RESET_REQUESTED;
          m_byResetType = RESET_SHUTDOWN;
          break;
        case MSG_POWER_SHUTDOWN:
          m_byResetState = RESET_REQUESTED;
          m_byResetType = RESET_POWER_SHUTDOWN;
          break;
        case MSG_DEFRAG_RESET:
          m_byResetState = RESET_REQUESTED;
          m_byResetType = RESET_DEFRAG;
          break;
        case MSG_WATCHDOG_DISABLE:
          Disable();
          break;
        case MSG_WATCHDOG_ENABLE:
          Enable();
          break;
        default:
          break;
      }
    }
    m_Inbox.Release(letter);
  }
}

void CWatchdogTask::Kick() {
  mon_watchdog();
  reg_write8(KICK_REGISTER, reg_read8(KICK_REGISTER) ^ 0x01);
}

void CWatchdogTask::CheckTasks() {
  if (post_office* router = m_Inbox.Router()) router->Publish(MSG_WATCHDOG_CYCLE);
  if (!Lock()) return;
  // While the hardware watchdog is off the counters stand still and nothing
  // is kicked.
  if (m_byHardwareEnabled) {
    bool failed = false;
    for (uint32_t i = 0; i < WATCHED_TASKS; ++i) {
      if (!m_adwReload[i]) continue;
      if (m_adwCounter[i]) {
        --m_adwCounter[i];
      } else {
        monitor_printf("wdt failure %s\n", kWatched[i].name);
        failed = true;
      }
    }
    if (!failed) Kick();
  }
  Unlock(true);
}

void CWatchdogTask::ResetStateMachine() {
  switch (m_byResetState) {
    case RESET_REQUESTED:
      if (post_office* router = m_Inbox.Router())
        for (uint32_t id : kStopIds) router->Publish(id);
      m_byResetState = RESET_WAITING;
      break;
    case RESET_WAITING: {
      uint32_t watched = 0;
      for (uint32_t i = 0; i < WATCHED_TASKS; ++i)
        if (m_adwReload[i]) ++watched;
      if (watched == 0 || g_reset_wait_countdown == 0)
        m_byResetState = RESET_RESTARTING;
      else
        --g_reset_wait_countdown;
      break;
    }
    case RESET_RESTARTING:
      Restart();
    default:
      break;
  }
}

void CWatchdogTask::Restart() {
  Disable();
  if ((g_reset_preserve_flags & RESET_PRESERVE_CONFIG) && m_pConfigWriter) m_pConfigWriter();
  if (m_byResetType == RESET_SYSTEM || m_byResetType == RESET_DEFRAG)
    monitor_printf("Please Stand by for System Reset...\n");
  os_sleep(50);
  Enable();
  // A restart that comes back is tried again; no kick happens meanwhile, so
  // the hardware watchdog ends this at the latest.
  for (;;) {
    switch (m_byResetType) {
      case RESET_SHUTDOWN:
      case RESET_POWER_SHUTDOWN:
        for (int i = 0; i < 10000; ++i) {
          reg_write8(SHUTDOWN_REGISTER, 0x55);
          reg_write8(SHUTDOWN_REGISTER, 0xAA);
        }
        mon_restart(0);
        break;
      case RESET_DEFRAG:
        system_defrag_reset();
        break;
      default:
        system_reset();
        break;
    }
  }
}
