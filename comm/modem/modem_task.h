// The cellular modem on the Ethernet side: a thread of its own ("Modem
// Task") reads the modem's identity, activates it on the operator's network
// with what a technician entered on the front panel, and polls its signal
// strength every 25 seconds. Each job is one short exchange of AT commands
// over a TCP connection to the modem's command port.
//
// The front panel sets request bits and reads result bits of the events;
// the signal strength is read under the task's mutex.
#pragma once

#include <cstdint>

#include "frame/console/telnet_client.h"
#include "nx_api.h"
#include "tx_api.h"

class CModemTask {
 public:
  enum : ULONG {
    REQ_QUERY = 0x01,
    RES_UNREACHABLE = 0x02,
    RES_QUERIED = 0x04,
    REQ_ACTIVATE = 0x08,
    RES_SIGNAL_WEAK = 0x10,
    RES_ACTIVATED = 0x20,
    RES_FAILED = 0x40,
    REQ_POLL = 0x80,
    RES_CARRIER_UNSUPPORTED = 0x100,
    RES_NOT_OK = 0x200,
  };
  // Job results.
  enum : int { DONE = 0, SEND_FAILED = 1, UNREACHABLE = 2, UNSUPPORTED = 3, NOT_OK = 4, WEAK = 5, NO_MUTEX = 6 };
  static constexpr ULONG MODEM_ADDRESS = IP_ADDRESS(192, 168, 13, 31);
  static constexpr UINT COMMAND_PORT = 2332;
  static constexpr int16_t NO_SIGNAL = -127;
  static constexpr int32_t WEAKEST_FOR_ACTIVATION = -95;
  static constexpr ULONG FIRST_POLL = 6000;  // ticks
  static constexpr ULONG POLL_PERIOD = 2500;
  static constexpr ULONG REPLY_WAIT = 500;
  static constexpr ULONG PROVISION_WAIT = 12000;
  static constexpr uint32_t STACK_SIZE = 2048;

  CModemTask(TX_BYTE_POOL* pool, NX_IP* ip, NX_PACKET_POOL* packets);
  virtual ~CModemTask();
  CModemTask(const CModemTask&) = delete;
  CModemTask& operator=(const CModemTask&) = delete;

  static void ThreadEntry(ULONG input);
  static void TimerExpired(ULONG input);
  static const char* GetCarrierName(const CModemTask* task);
  // The signal's rating, English or French; 0 without a reading.
  static int GetSignalText(CModemTask* task, int french, const char** text);
  // The carrier index of an operator reply: 1 Verizon .. 7 Rogers, 0 unknown.
  static uint8_t DetectCarrier(const char* operator_text);

  int QueryModem();
  int Activate();
  int PollSignal();

  TX_EVENT_FLAGS_GROUP* Events() { return &m_Events; }
  const char* Model() const { return m_szModel; }
  const char* Esn() const { return m_szEsn; }
  const char* Phone() const { return m_szPhone; }
  uint8_t Carrier() const { return m_byCarrier; }
  int16_t Signal() const { return m_sSignal; }

 private:
  struct command {
    const char* text;
    char* reply;  // null: the reply is not kept
    uint32_t size;
  };
  enum class clean { full, after_ok, none };
  int Exchange(const command* commands, uint32_t count, bool traces, bool keep_open, clean how);
  int ActivateGSM();
  int ActivateCDMA();
  int ReceiveText(char* out, uint32_t size, ULONG wait, bool trace);
  void Serve();

  TX_EVENT_FLAGS_GROUP m_Events{};
  char m_szModel[35];
  char m_szEsn[36];
  uint8_t m_byCarrier = 0;
  char m_szPhone[30];
  volatile int16_t m_sSignal = NO_SIGNAL;
  uint32_t m_dwStatusRow = 0;
  TX_MUTEX m_Mutex{};
  TX_THREAD m_Thread{};
  TX_TIMER m_Timer{};
  CTelnetClient m_Client;
  TX_BYTE_POOL* m_pPool;
  void* m_pStack = nullptr;
  bool m_bMutex = false, m_bThread = false, m_bTimer = false, m_bEvents = false, m_bRow = false;
};

// The one task, when the feature asks for it (the front panel reaches it here).
extern CModemTask* g_pModemTask;

// Lets the communication task create the task at the network start.
void modem_install_services();
