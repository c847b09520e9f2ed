// The "Monitor" task: owner of the trace output (the UART before the
// console is set up, the console driver afterwards, a telnet connection
// while a user is logged in through it), reader of the console input, and
// announcer of shutdowns and restarts on the console.
#pragma once

#include <cstdint>

#include "frame/bus/subscriber.h"
#include "frame/console/prompt.h"
#include "frame/console/telnet_server.h"
#include "frame/task/task_base.h"
#include "mon_api.h"
#include "nx_telnet.h"
#include "tx_api.h"

class CSerialDriver;

int monitor_putc_hook(int c);

class CMonitorTask : public CTaskBase {
 public:
  enum : uint32_t { MODE_UART = 0, MODE_CONSOLE = 1, MODE_TELNET = 2 };
  // Login state of a telnet connection.
  enum : uint8_t { LOGIN_NONE = 0, LOGIN_PASSWORD = 1, LOGIN_DONE = 2 };
  static constexpr uint32_t PASSWORD_MAX = 25;
  static constexpr uint32_t NO_CONNECTION = 0xFFFFFFFF;
  // Ticks a wrong password holds its connection back before the next try;
  // what the connection types meanwhile is dropped. Other connections are
  // served as usual.
  static constexpr uint32_t LOGIN_FAIL_DELAY = 100;
  // Trace output may go to a telnet user while this bit of
  // mib_nv.quorFeatureSet is set; the telnet server starts only with it.
  static constexpr uint32_t FEATURE_TELNET = 0x8;
  // Ticks without the UART's transmitter emptying before the polled output
  // gives the line up (until it empties again).
  static constexpr uint32_t UART_STALL = 100;

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

  // The telnet console's handler of the server's events (the server's
  // thread): a new connection asks for the password, data complete the
  // login or go to the connection's line editor, the end of a connection
  // forgets its login. 0, or 4 for an unknown event. Each connection logs
  // in on its own; the logged-in connection that last typed (or logged in)
  // receives the trace output.
  int OnTelnetEvent(uint32_t event, uint32_t connection, const uint8_t* data, uint32_t length, char* reply,
                    uint32_t* reply_length);
  // The network the telnet server uses, before the server is created.
  void SetNetwork(NX_IP* ip, NX_PACKET_POOL* pool) { m_Telnet.SetNetwork(ip, pool); }
  CTelnetServer& TelnetServer() { return m_Telnet; }
  CPrompt& Prompt() { return m_Prompt; }
  // The connection that receives the output in mode 2.
  uint32_t TelnetConnection() const { return m_uTelnetConnection; }
  uint8_t LoginState(uint32_t connection) const {
    return connection < NX_TELNET_MAX_CLIENTS ? m_aSessions[connection].login : uint8_t{LOGIN_NONE};
  }
  // Whether a connection is held back after a wrong password.
  bool LoginHeld(uint32_t connection) const {
    return connection < NX_TELNET_MAX_CLIENTS && m_aSessions[connection].held;
  }
  // Whether the feature bit allows the telnet console.
  static bool TelnetAllowed();

  static void ThreadEntry(ULONG);
  static void TimerFunction(ULONG);

 protected:
  void OnStart() override { Initialize(); }

 private:
  // One telnet connection's login and its own line editor.
  struct telnet_session {
    uint8_t login = LOGIN_NONE;
    uint8_t count = 0;
    char entry[PASSWORD_MAX] = {};
    bool after_cr = false;
    // After a wrong password: the refusal goes out when the hold timer ends.
    bool held = false;
    bool hold_timer = false;
    TX_TIMER hold{};
    CPrompt prompt{monitor_putc_hook, mon_docommand};
  };
  static int TelnetEventEntry(void* context, uint32_t event, uint32_t connection, const uint8_t* data,
                              uint32_t length, char* reply, uint32_t* reply_length);
  void UartPut(char c);
  void UartWait();
  bool PasswordMatches(const telnet_session& s);
  void EndTelnetOutput(uint32_t connection);
  void HoldLogin(uint32_t connection);
  static void LoginHoldEnded(ULONG connection);

  uint32_t m_dwStatus = 0;  // bits 28-31 print level, 24-27 output mode
  CPrompt m_Prompt;
  CSerialDriver* m_pConsole = nullptr;
  subscriber m_Inbox;
  TX_MUTEX m_PrintfMutex{};
  bool m_bPrintfMutex = false;
  bool m_bHoldsConsole = false;
  bool m_bUartStalled = false;
  CTelnetServer m_Telnet;
  uint32_t m_uTelnetConnection = NO_CONNECTION;
  telnet_session m_aSessions[NX_TELNET_MAX_CLIENTS];
};

// The one monitor task; the trace printers go through it once it exists.
extern CMonitorTask* g_pMonitor;

// Prints one character through the trace printer; the boot monitor's output
// hook and the line editor's echo.
int monitor_putc_hook(int c);
