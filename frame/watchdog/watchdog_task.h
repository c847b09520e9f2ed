// The "Watchdog" task: it takes the other tasks' check-ins, kicks the
// hardware watchdog only while every watched task reported in recently, owns
// the nested switch that turns the hardware watchdog off around long
// operations, and carries out the orderly reset.
#pragma once

#include <cstdint>

#include "frame/bus/subscriber.h"
#include "frame/task/task_base.h"
#include "tx_api.h"

class CWatchdogTask : public CTaskBase {
 public:
  enum : uint8_t { RESET_IDLE = 0, RESET_REQUESTED = 1, RESET_WAITING = 2, RESET_RESTARTING = 3 };
  enum : uint8_t { RESET_SYSTEM = 0, RESET_SHUTDOWN = 1, RESET_POWER_SHUTDOWN = 2, RESET_DEFRAG = 3 };
  enum : uint32_t {
    WATCHED_TASKS = 6,
    CHECK_IN_CYCLES = 600,  // 300 seconds of cycles of 50 ticks
    DISABLE_LIMIT = 200,    // disables that may be outstanding
  };
  enum : int { TASK_NOT_FOUND = -1 };
  // Board registers.
  enum : uint32_t {
    KICK_REGISTER = 0xF0500022,      // bit 0 toggles at every kick; bit 4 cleared at start
    SHUTDOWN_REGISTER = 0xF0500030,  // 0x55, 0xAA pairs before a shutdown restart
  };

  explicit CWatchdogTask(post_office* router);
  ~CWatchdogTask() override;

  int Create(TX_BYTE_POOL* pool);
  int Subscribe();

  // Gives back one disable; the last one switches the hardware watchdog on
  // again. 1 when a disable was given back; 0 when none was outstanding (an
  // unmatched enable changes nothing) or the lock could not be had.
  int Enable();
  // Switches the hardware watchdog off for one more holder. 1 when taken; 0
  // when DISABLE_LIMIT disables are outstanding already (refused at once,
  // never waiting while holding the lock) or the lock could not be had.
  int Disable();

  static const char* TaskName(uint32_t index);
  // The watched task's index by exact name, or TASK_NOT_FOUND.
  static int TaskIndex(const char* name);
  int IsWatched(const char* name) const;

  void Init();
  int Process() override;
  void HandleMessages();
  void CheckTasks();
  void ResetStateMachine();

  // What the reset sequence writes before the restart when bit 2 of
  // g_reset_preserve_flags is set (CONFIG.XML); start-up installs it.
  void SetConfigWriter(void (*writer)()) { m_pConfigWriter = writer; }

  uint8_t ResetState() const { return m_byResetState; }
  uint8_t ResetType() const { return m_byResetType; }
  uint32_t Reload(uint32_t index) const { return index < WATCHED_TASKS ? m_adwReload[index] : 0; }
  uint32_t Counter(uint32_t index) const { return index < WATCHED_TASKS ? m_adwCounter[index] : 0; }
  uint8_t HardwareEnabled() const { return m_byHardwareEnabled; }
  subscriber& Inbox() { return m_Inbox; }

  static void ThreadEntry(ULONG);
  static void Tick(ULONG);

 protected:
  void OnStart() override;

 private:
  bool Lock();
  void Unlock(bool locked);
  void Kick();
  [[noreturn]] void Restart();

  uint8_t m_byResetState = RESET_IDLE;
  uint8_t m_byResetType = RESET_SYSTEM;
  subscriber m_Inbox;
  uint32_t m_adwReload[WATCHED_TASKS] = {};
  uint32_t m_adwCounter[WATCHED_TASKS] = {};
  TX_MUTEX m_Mutex{};
  TX_SEMAPHORE m_Semaphore{};
  bool m_bMutex = false;
  bool m_bSemaphore = false;
  uint8_t m_byHardwareEnabled = 0;
  void (*m_pConfigWriter)() = nullptr;
};

// The one watchdog task.
extern CWatchdogTask* g_pWatchdog;

// Bit 2: write CONFIG.XML before an orderly restart (initially set; the
// memory-management operations clear it).
extern uint8_t g_reset_preserve_flags;
constexpr uint8_t RESET_PRESERVE_CONFIG = 0x04;
// Cycles the reset sequence still waits for the tasks to stop (initially 20,
// never reloaded).
extern uint16_t g_reset_wait_countdown;
// The busy count of the restart routines, which gives the hardware watchdog
// time to reset the board before the monitor is asked to.
extern uint32_t g_reset_busy_count;

// Restarts the board: the hardware watchdog, or the boot monitor's restart
// after the busy count. Each returns only when the restart did not happen.
void system_reset();
// As system_reset, but when the restart does not happen it reports "Ethernet
// Reset Failed" and returns to its caller at the caller's priority.
void system_ethernet_reset();
// Sets bit 0 of the UART0 scratch register, which asks the boot monitor to
// defragment its flash during the restart.
void system_defrag_reset();
