#include "frame/monitor/monitor_task.h"

#include "board_io.h"
#include "database/database.h"
#include "database/objects.h"
#include "frame/bus/letter.h"
#include "comm/ports.h"
#include "frame/os/os.h"
#include "frame/serial/serial_driver.h"
#include "frame/trace/trace.h"
#include "mon_api.h"
#include "mon_service.h"

CMonitorTask* g_pMonitor = nullptr;

namespace {

const uint32_t kSubscriptions[] = {MSG_MONITOR_STOP,  MSG_MONITOR_SUSPEND, MSG_MONITOR_RESUME,
                                   MSG_MONITOR_STACK_REPORT, MSG_SYSTEM_RESET, MSG_POWER_SHUTDOWN,
                                   MSG_SHUTDOWN_REQUEST, MSG_DEFRAG_RESET, MSG_COMM_STARTED, 0};

const task_letters_s kControl = {MSG_MONITOR_STOP, MSG_WDT_MONITOR_START, "Suspending monitor task\n",
                                 "Resuming monitor task\n", "Monitor"};

// The processor's UART 1, polled before the console driver takes over.
constexpr uint32_t kUartThr = 0xEF600400;
constexpr uint32_t kUartMcr = 0xEF600404;
constexpr uint32_t kUartLsr = 0xEF600405;
constexpr uint8_t kLsrThre = 0x20;
// Looks at the line status before the wait is timed (not its limit).
constexpr uint32_t kUartQuickPolls = 1000;

// Telnet output: each "\n" becomes "\r\n" in a buffer of this size.
constexpr uint32_t kTelnetLine = 500;

}  // namespace

CMonitorTask::CMonitorTask(post_office* router)
    : CTaskBase("Monitor", 4096, 2, 0, 200, 10),
      m_Prompt(monitor_putc_hook, mon_docommand),
      m_Inbox(router, Events(), 1, Thread()),
      m_Telnet(nullptr, nullptr, nullptr) {
  g_pMonitor = this;
}

CMonitorTask::~CMonitorTask() {
  // The server's end routines must not reach a half-destroyed task.
  m_Telnet.SetEventHandler(nullptr, nullptr);
  m_Telnet.Stop();
  m_Telnet.Delete();
  for (telnet_session& s : m_aSessions)
    if (s.hold_timer) tx_timer_delete(&s.hold);
  if (m_bHoldsConsole) ReleaseDriver(COMM_DRIVER_CONSOLE);
  if (g_pMonitor == this) g_pMonitor = nullptr;
}

bool CMonitorTask::TelnetAllowed() {
  return g_pDataBase &&
         (g_pDataBase->GetValue(nv::quorFeatureSet.offset, 4, g_pDataBase->mib_nv, 0) & FEATURE_TELNET) != 0;
}

void CMonitorTask::ThreadEntry(ULONG) { g_pMonitor->Run("Monitor Task", g_pMonitor->m_Inbox.Router(), MSG_WDT_MONITOR_START); }

void CMonitorTask::TimerFunction(ULONG) { g_pMonitor->TimerExpired(); }

int CMonitorTask::Create(TX_BYTE_POOL* pool) {
  // The telnet server's thread takes its stack from the same pool.
  m_Telnet.SetBytePool(pool);
  return CTaskBase::Create(pool, ThreadEntry, TimerFunction);
}

int CMonitorTask::Subscribe() { return m_Inbox.Subscribe(kSubscriptions); }

int CMonitorTask::SetPrintLevel(uint32_t level) {
  if (level > 1) return 0;
  m_dwStatus = (m_dwStatus & 0x0FFFFFFF) | (level << 28);
  return 1;
}

void CMonitorTask::UartPut(char c) {
  // A line given up is waited for again once it has emptied.
  if (m_bUartStalled && (reg_read8(kUartLsr) & kLsrThre)) m_bUartStalled = false;
  (void)reg_read8(kUartMcr);
  reg_write8(kUartThr, static_cast<uint8_t>(c));
  UartWait();
  reg_write8(kUartMcr, reg_read8(kUartMcr) | 0x2);
}

// Waits for the transmitter to empty, however slowly the far end takes the
// characters. Only a transmitter that has taken nothing for UART_STALL ticks
// is given up, and it is not waited for again until it has emptied, so a
// dead line costs one wait, not one per character.
void CMonitorTask::UartWait() {
  auto empty = [] { return (reg_read8(kUartLsr) & kLsrThre) != 0; };
  // A quick look first, without entering the kernel, so that a line at
  // speed is not interleaved with other threads' output.
  for (uint32_t i = 0; i < kUartQuickPolls; ++i) {
    if (empty()) {
      m_bUartStalled = false;
      return;
    }
  }
  if (m_bUartStalled) return;
  const ULONG start = tx_time_get();
  while (!empty()) {
    if (tx_time_get() - start >= UART_STALL) {
      m_bUartStalled = true;
      return;
    }
    // A thread sleeps between looks, so the clock and the other threads
    // run; elsewhere the sleep is refused and the look is repeated.
    tx_thread_sleep(1);
  }
  m_bUartStalled = false;
}

int CMonitorTask::Print(uint32_t level, const char* text) {
  if (level > PrintLevel()) return 0;
  const uint32_t mode = Mode();
  bool locked = false;
  if (mode != MODE_UART) {
    os_status st = m_bPrintfMutex ? os_mutex_get(&m_PrintfMutex, OS_NO_WAIT) : OS_CALLER_ERROR;
    // Contended output is dropped, not queued; interrupts and start-up code,
    // which cannot own a mutex, print unlocked.
    if (st != OS_SUCCESS && st != OS_CALLER_ERROR) return 0;
    locked = st == OS_SUCCESS;
  }
  int n = 0;
  switch (mode) {
    case MODE_TELNET: {
      if (!TelnetAllowed()) break;
      char line[kTelnetLine];
      uint32_t length = 0;
      for (const char* p = text; *p && length + 2 <= sizeof line; ++p, ++n) {
        if (*p == '\n') line[length++] = '\r';
        line[length++] = *p;
      }
      m_Telnet.Send(m_uTelnetConnection, line, length);
      break;
    }
    case MODE_UART:
      for (const char* p = text; *p; ++p, ++n) {
        if (*p == '\n') UartPut('\r');
        UartPut(*p);
      }
      break;
    default:
      if (!m_pConsole) break;
      for (const char* p = text; *p; ++p, ++n) {
        if (*p == '\n') m_pConsole->PutTxByte('\r');
        m_pConsole->PutTxByte(static_cast<uint8_t>(*p));
      }
      break;
  }
  if (locked) os_mutex_put(&m_PrintfMutex);
  return n;
}

void CMonitorTask::Initialize() {
  m_bPrintfMutex = os_mutex_create(&m_PrintfMutex, "printf", 0) == OS_SUCCESS;
  if (!m_pConsole) {
    m_pConsole = AttainDriver(COMM_DRIVER_CONSOLE);
    m_bHoldsConsole = m_pConsole != nullptr;
  }
  SetMode(MODE_CONSOLE);
  m_Prompt.ShowPrompt();
  // The boot monitor's own output (its commands) goes where the trace goes.
  mon_service300(monitor_putc_hook);
}

int CMonitorTask::Process() {
  CTaskBase::Process();
  ProcessLetters();
  ReadConsole();
  return 0;
}

void CMonitorTask::ProcessLetters() {
  letter_s* letter = nullptr;
  while (m_Inbox.Receive(&letter)) {
    uint32_t id = letter->Id();
    if (id == MSG_MONITOR_STOP) {
      HandleControlLetter(&m_Inbox, letter, kControl);  // does not come back
      return;
    }
    if (!HandleControlLetter(&m_Inbox, letter, kControl)) {
      switch (id) {
        case MSG_SYSTEM_RESET:
          monitor_printf("System Restart Requested\n");
          break;
        case MSG_POWER_SHUTDOWN:
          monitor_printf("System Power Loss Detected\n");
          break;
        case MSG_SHUTDOWN_REQUEST:
          monitor_printf("System Shutdown Requested\n");
          break;
        case MSG_DEFRAG_RESET:
          monitor_printf("System Defragmentation Restart Requested\n");
          break;
        case MSG_COMM_STARTED:
          // The network is up: the telnet console, when the feature allows.
          if (TelnetAllowed()) {
            m_Telnet.SetEventHandler(TelnetEventEntry, this);
            if (m_Telnet.State() < CTelnetServer::STATE_CREATED) m_Telnet.Create();
            m_Telnet.Start();
          }
          break;
        default:
          break;
      }
    }
    m_Inbox.Release(letter);
  }
}

void CMonitorTask::ReadConsole() {
  if (Mode() != MODE_CONSOLE || !m_pConsole) return;
  uint32_t byte = 0;
  while (m_pConsole->ReadByte(&byte)) m_Prompt.PutChar(static_cast<uint8_t>(byte));
}

int monitor_putc_hook(int c) {
  monitor_printf("%c", c);
  return 0;
}
