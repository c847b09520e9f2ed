// The "Monitor" task: owner of the trace output (the UART before the
// console is set up, the console driver afterwards, a telnet connection
// while a user is logged in through it), reader of the console input, and
// announcer of shutdowns and restarts on the console.
#pragma once

#include <cstdint>

#include "frame/bus/subscriber.h"
#include "frame/task/task_base.h"
#include "tx_api.h"

class CSerialDriver;

class CMonitorTask : public CTaskBase {
 public:
  enum : uint32_t { MODE_UART = 0, MODE_CONSOLE = 1, MODE_TELNET = 2 };

  explicit CMonitorTask(post_office* router);
  ~CMonitorTask() override;

  int Create(TX_BYTE_POOL* pool);
  int Subscribe();
  // Prints text at a level (0 always, 1 verbose); returns the characters
  // handed on.
  int Print(uint32_t level, const char* text);
  // 1 and stores the level for 0 or 1; 0 otherwise.
  int SetPrintLevel(uint32_t level);
  uint32_t PrintLevel() const { return m_dwStatus >> 28; }
  uint32_t Mode() const { return (m_dwStatus >> 24) & 0xF; }
  void SetMode(uint32_t mode) { m_dwStatus = (m_dwStatus & 0xF0FFFFFF) | ((mode & 0xF) << 24); }
  // The console serial driver (taken at Initialize; tests may set one).
  void SetConsoleDriver(CSerialDriver* driver) { m_pConsole = driver; }
  CSerialDriver* ConsoleDriver() const { return m_pConsole; }

  void Initialize();
  int Process() override;
  void ProcessLetters();
  void ReadConsole();
  // One typed character: echoed, and a finished line run by the boot
  // monitor's interpreter (until the line editor comes).
  void ConsoleChar(char c);

  static void ThreadEntry(ULONG);
  static void TimerFunction(ULONG);

 protected:
  void OnStart() override { Initialize(); }

 private:
  void UartPut(char c);
  uint32_t m_dwStatus = 0;  // bits 28-31 print level, 24-27 output mode
  CSerialDriver* m_pConsole = nullptr;
  subscriber m_Inbox;
  TX_MUTEX m_PrintfMutex{};
  bool m_bPrintfMutex = false;
  bool m_bHoldsConsole = false;
  char m_szLine[51] = {};
  uint32_t m_uLineLength = 0;
  bool m_bAfterCR = false;
};

// The one monitor task; the trace printers go through it once it exists.
extern CMonitorTask* g_pMonitor;

// Prints one character through the trace printer; the boot monitor's output
// hook and the line editor's echo.
int monitor_putc_hook(int c);
