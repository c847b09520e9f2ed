#include "comm/modem/modem_task.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "comm/comm_services.h"
#include "database/database.h"
#include "database/objects.h"
#include "frame/peripheral/peripheral.h"
#include "frame/trace/trace.h"

CModemTask* g_pModemTask = nullptr;

namespace {

// The modem's command-port password, and the dynamic-DNS service the
// activation points the modem at (configuration of this firmware).
constexpr char kPassword[] = "20473\r";
constexpr char kDnsDomain[] = "modem-dns.example";
constexpr char kDnsManager[] = "mgr1.modem-dns.example";

// Volatile objects of the cellular modem.
constexpr db_object kSignal{17284, 2};
constexpr db_object kApn{17292, 4};
constexpr db_object kUserId{17296, 4};
constexpr db_object kPassword_{17300, 4};
constexpr db_object kMsl{17304, 4};
constexpr db_object kMdn{17308, 4};
constexpr db_object kMsid{17312, 4};

constexpr uint32_t kPacket = 200;
constexpr uint32_t kShortReply = 20;
// Replies a provisioning waits through for its "OK": a modem that keeps
// talking without one must not hold the task for ever.
constexpr int kProvisionReplies = 20;

const char* const kCarriers[] = {"Unknown", "Verizon", "Sprint", "Alltel", "Bell", "Telus", "ATT", "Rogers"};

bool printable(uint8_t c) { return (c >= 32 && c <= 126) || c == '\r' || c == '\n'; }

// Printable bytes, CR and LF of a packet, zero-terminated in out.
void copy_printable(const uint8_t* in, uint32_t n, char* out, uint32_t size, bool trace) {
  uint32_t k = 0;
  for (uint32_t i = 0; i < n; ++i) {
    if (!printable(in[i])) continue;
    if (trace) monitor_printf("%c", in[i]);
    if (k + 1 < size) out[k++] = static_cast<char>(in[i]);
  }
  if (size) out[k] = 0;
}

void erase(char* text, size_t at, size_t count) { std::memmove(text + at, text + at + count, std::strlen(text + at + count) + 1); }

// The text is cut at "OK" and loses its CRs and LFs.
void cut_at_ok(char* text) {
  if (char* ok = std::strstr(text, "OK")) *ok = 0;
  size_t k = 0;
  for (size_t i = 0; text[i]; ++i)
    if (text[i] != '\r' && text[i] != '\n') text[k++] = text[i];
  text[k] = 0;
}

// A query's reply: CR LF become CR, the echo of the command and its CR go,
// then the text is cut at "OK".
void clean_reply(char* text, const char* command) {
  for (size_t i = 0; text[i]; ++i)
    if (text[i] == '\r' && text[i + 1] == '\n') erase(text, i + 1, 1);
  // Only the command's own echo: "AT" further in belongs to the answer (an
  // operator's name, say) and is kept.
  const size_t echo = std::strcspn(command, "\r");
  char* at = text + std::strspn(text, "\r\n");
  if (std::strncmp(at, command, echo) == 0) {
    if (char* cr = std::strchr(at, '\r')) erase(text, 0, static_cast<size_t>(cr + 1 - text));
  }
  cut_at_ok(text);
}

// The number that starts at the first '-' of the text; false without one.
bool signal_of(const char* text, int32_t* value) {
  const char* minus = std::strchr(text, '-');
  if (!minus) return false;
  *value = static_cast<int32_t>(std::strtol(minus, nullptr, 10));
  return true;
}

void vol_text(const db_object& o, char* out, uint32_t size) {
  out[0] = 0;
  CDataBase* d = g_pDataBase;
  if (!d) return;
  uint32_t length = 0;
  const uint8_t* text = d->GetString(o.offset, o.width, d->mib_v, &length);
  if (text) std::snprintf(out, size, "%.*s", static_cast<int>(length), reinterpret_cast<const char*>(text));
}

void create_task(TX_BYTE_POOL* pool, NX_IP* ip, NX_PACKET_POOL* packets) {
  if (!g_pModemTask) new CModemTask(pool, ip, packets);
}

}  // namespace

CModemTask::CModemTask(TX_BYTE_POOL* pool, NX_IP* ip, NX_PACKET_POOL* packets)
    : m_Client(ip, packets), m_pPool(pool) {
  // The kernel hands its threads and timers a 32-bit word: they find the one
  // task through the global.
  g_pModemTask = this;
  std::strcpy(m_szModel, "N/A");
  std::strcpy(m_szEsn, "N/A");
  std::strcpy(m_szPhone, "N/A");
  // The flags and the mutex exist before the thread that waits on them runs.
  UINT status = tx_event_flags_create(&m_Events, const_cast<CHAR*>("Modem Events"));
  if (status != TX_SUCCESS) monitor_printf("event_flags_create failed:%d\n", status);
  m_bEvents = status == TX_SUCCESS;
  m_bMutex = tx_mutex_create(&m_Mutex, const_cast<CHAR*>("modemtask"), TX_NO_INHERIT) == TX_SUCCESS;
  if (!m_bMutex) monitor_printf("failed to create modemtask mutex\n");
  status = pool ? tx_byte_allocate(pool, &m_pStack, STACK_SIZE, TX_NO_WAIT) : TX_PTR_ERROR;
  if (status != TX_SUCCESS) {
    monitor_printf("byte_allocate failed:%d\n", status);
    m_pStack = nullptr;
  }
  if (m_pStack) {
    status = tx_thread_create(&m_Thread, const_cast<CHAR*>("Modem Task"), ThreadEntry,
                              0, m_pStack, STACK_SIZE, 2, 2,
                              TX_NO_TIME_SLICE, TX_AUTO_START);
    if (status != TX_SUCCESS) monitor_printf("tx_thread_create failed:%d\n", status);
    m_bThread = status == TX_SUCCESS;
  }
  status = tx_timer_create(&m_Timer, const_cast<CHAR*>("Modem Timer"), TimerExpired,
                           0, FIRST_POLL, POLL_PERIOD,
                           TX_AUTO_ACTIVATE);
  if (status != TX_SUCCESS) monitor_printf("tx_timer_create failed:%d\n", status);
  m_bTimer = status == TX_SUCCESS;
  m_dwStatusRow = CPeripheral::kRowAny;
  m_bRow = CPeripheral::RegisterStatus(&m_dwStatusRow, CPeripheral::PORT_DIGITAL, CPeripheral::DIR_INPUT, 2,
                                       "MODEM SIGNAL STRENGTH") == 1;
}

CModemTask::~CModemTask() {
  if (m_bRow) CPeripheral::UnregisterStatus(m_dwStatusRow);
  if (m_bTimer) {
    tx_timer_deactivate(&m_Timer);
    tx_timer_delete(&m_Timer);
  }
  if (m_bThread) {
    tx_thread_terminate(&m_Thread);
    tx_thread_delete(&m_Thread);
  }
  if (m_bEvents) tx_event_flags_delete(&m_Events);
  if (m_bMutex) tx_mutex_delete(&m_Mutex);
  if (m_pStack) tx_byte_release(m_pStack);
  if (g_pModemTask == this) g_pModemTask = nullptr;
}

void CModemTask::ThreadEntry(ULONG) {
  if (g_pModemTask) g_pModemTask->Serve();
}

void CModemTask::TimerExpired(ULONG) {
  CModemTask* task = g_pModemTask;
  if (task && task->m_bEvents) tx_event_flags_set(&task->m_Events, REQ_POLL, TX_OR);
}

void CModemTask::Serve() {
  for (;;) {
    ULONG got = 0;
    if (tx_event_flags_get(&m_Events, REQ_QUERY | REQ_ACTIVATE | REQ_POLL, TX_OR_CLEAR, &got, TX_WAIT_FOREVER) !=
        TX_SUCCESS)
      return;
    if (got & REQ_QUERY) {
      const int r = QueryModem();
      tx_event_flags_set(&m_Events, r == DONE ? RES_QUERIED : r == UNREACHABLE ? RES_UNREACHABLE : RES_FAILED, TX_OR);
    }
    if (got & REQ_ACTIVATE) {
      ULONG bit = RES_FAILED;
      switch (Activate()) {
        case DONE: bit = RES_ACTIVATED; break;
        case UNREACHABLE: bit = RES_UNREACHABLE; break;
        case UNSUPPORTED: bit = RES_CARRIER_UNSUPPORTED; break;
        case NOT_OK: bit = RES_NOT_OK; break;
        case WEAK: bit = RES_SIGNAL_WEAK; break;
        default: break;
      }
      tx_event_flags_set(&m_Events, bit, TX_OR);
    }
    if (got & REQ_POLL) PollSignal();
  }
}

const char* CModemTask::GetCarrierName(const CModemTask* task) {
  const uint8_t c = task ? task->m_byCarrier : 0;
  return kCarriers[c < sizeof kCarriers / sizeof kCarriers[0] ? c : 0];
}

int CModemTask::GetSignalText(CModemTask* task, int french, const char** text) {
  if (!task || !task->m_bMutex || tx_mutex_get(&task->m_Mutex, TX_WAIT_FOREVER) != TX_SUCCESS) return 0;
  const int16_t s = task->m_sSignal;
  tx_mutex_put(&task->m_Mutex);
  if (s == NO_SIGNAL) return 0;
  const char* t = nullptr;
  if (s <= -101)
    t = french ? "TROP FAIBLE" : "UNACCEPTABLE";
  else if (s <= -87)
    t = french ? "FAIBLE" : "WEAK";
  else if (s <= -81)
    t = french ? "MOYENNE" : "MODERATE";
  else
    t = french ? "GRANDE" : "GOOD";
  if (text) *text = t;
  return 1;
}

uint8_t CModemTask::DetectCarrier(const char* text) {
  static const struct {
    const char* mark;
    uint8_t carrier;
  } kMarks[] = {{"Verizon", 1}, {"Sprint", 2}, {"Alltel", 3}, {"Bell", 4}, {"Telus", 5}, {" 310", 6}, {" 302", 7}};
  for (const auto& m : kMarks)
    if (text && std::strstr(text, m.mark)) return m.carrier;
  return 0;
}

int CModemTask::ReceiveText(char* out, uint32_t size, ULONG wait, bool trace) {
  uint8_t packet[kPacket];
  uint32_t n = 0;
  if (!m_Client.Receive(packet, sizeof packet, &n, wait)) return 0;
  copy_printable(packet, n, out, size, trace);
  return 1;
}

int CModemTask::Exchange(const command* commands, uint32_t count, bool traces, bool keep_open, clean how) {
  if (!m_Client.Connect(MODEM_ADDRESS, COMMAND_PORT)) {
    m_Client.Disconnect();
    return UNREACHABLE;
  }
  char greeting[kPacket + 1];
  ReceiveText(greeting, sizeof greeting, REPLY_WAIT, traces);
  for (uint32_t i = 0; i < count; ++i) {
    const command& c = commands[i];
    if (traces) monitor_printf("%s\n", c.text);
    if (!m_Client.Send(c.text, static_cast<uint32_t>(std::strlen(c.text)))) {
      m_Client.Disconnect();
      return SEND_FAILED;
    }
    char reply[kPacket + 1];
    if (!ReceiveText(reply, sizeof reply, REPLY_WAIT, traces) || !c.reply) continue;
    std::snprintf(c.reply, c.size, "%s", reply);
    if (how == clean::full)
      clean_reply(c.reply, c.text);
    else if (how == clean::after_ok)
      cut_at_ok(c.reply);
  }
  if (!keep_open) m_Client.Disconnect();
  return DONE;
}

int CModemTask::QueryModem() {
  std::strcpy(m_szModel, "N/A");
  std::strcpy(m_szEsn, "N/A");
  std::strcpy(m_szPhone, "N/A");
  char op[50] = "N/A";
  const command commands[] = {
      {kPassword, nullptr, 0},
      {"ATE0\r", nullptr, 0},
      {"AT*TELNETTIMEOUT=20\r", nullptr, 0},
      {"ATI3\r", m_szEsn, sizeof m_szEsn},
      {"ATI0\r", m_szModel, sizeof m_szModel},
      {"AT*NETOP?\r", op, sizeof op},
      {"AT*NETPHONE?\r", m_szPhone, sizeof m_szPhone},
  };
  const int r = Exchange(commands, sizeof commands / sizeof commands[0], true, false, clean::full);
  if (r == DONE) m_byCarrier = DetectCarrier(op);
  return r;
}

int CModemTask::Activate() {
  char domain[64], manager1[64], manager2[64];
  std::snprintf(domain, sizeof domain, "AT*DOMAIN=%s\r", kDnsDomain);
  std::snprintf(manager1, sizeof manager1, "AT*IPMANAGER1=%s\r", kDnsManager);
  std::snprintf(manager2, sizeof manager2, "AT*IPMANAGER2=%s\r", kDnsDomain);
  char rssi[30] = "";
  const command commands[] = {
      {kPassword, nullptr, 0},
      {"AT*TELNETTIMEOUT=20\r", nullptr, 0},
      {"AT*DPORT=3001\r", nullptr, 0},
      {"AT*HOSTPRIVMODE=0\r", nullptr, 0},
      {"AT*MODEMNAME=#NETPHONE\r", nullptr, 0},
      {domain, nullptr, 0},
      {manager1, nullptr, 0},
      {"AT*IPMGRUPDATE1=255\r", nullptr, 0},
      {manager2, nullptr, 0},
      {"AT*IPMGRUPDATE2=255\r", nullptr, 0},
      {"AT&W\r", nullptr, 0},
      {"AT*NETRSSI?\r", rssi, sizeof rssi},
  };
  int r = Exchange(commands, sizeof commands / sizeof commands[0], true, true, clean::none);
  if (r != DONE) return r;
  int32_t signal = 0;
  if (!signal_of(rssi, &signal) || signal < WEAKEST_FOR_ACTIVATION) {
    r = WEAK;
  } else if (m_byCarrier == 1 || m_byCarrier == 2) {
    r = ActivateCDMA();
  } else if (m_byCarrier == 6) {
    r = ActivateGSM();
  } else {
    r = UNSUPPORTED;
  }
  m_Client.Disconnect();
  return r;
}

int CModemTask::ActivateGSM() {
  char value[64];
  char lines[3][96];
  const struct {
    const char* prefix;
    db_object object;
  } kSettings[] = {{"AT*NETAPN=", kApn}, {"AT*NETUID=", kUserId}, {"AT*NETPW=", kPassword_}};
  for (int i = 0; i < 3; ++i) {
    vol_text(kSettings[i].object, value, sizeof value);
    std::snprintf(lines[i], sizeof lines[i], "%s%s\r", kSettings[i].prefix, value);
  }
  const char* commands[] = {lines[0], lines[1], lines[2], "AT&W\r"};
  for (const char* c : commands) {
    monitor_printf("%s\n", c);
    if (!m_Client.Send(c, static_cast<uint32_t>(std::strlen(c)))) return SEND_FAILED;
    char reply[kShortReply];
    if (!ReceiveText(reply, sizeof reply, REPLY_WAIT, true)) return SEND_FAILED;
    if (!std::strstr(reply, "OK")) return NOT_OK;
  }
  return DONE;
}

int CModemTask::ActivateCDMA() {
  char msl[32], mdn[32], msid[32], line[128];
  vol_text(kMsl, msl, sizeof msl);
  vol_text(kMdn, mdn, sizeof mdn);
  vol_text(kMsid, msid, sizeof msid);
  std::snprintf(line, sizeof line, "AT*PROVISION2=%s,%s,%s\r", msl, mdn, msid);
  monitor_printf("%s\n", line);
  if (!m_Client.Send(line, static_cast<uint32_t>(std::strlen(line)))) return SEND_FAILED;
  for (int k = 0; k < kProvisionReplies; ++k) {
    char reply[kShortReply];
    if (!ReceiveText(reply, sizeof reply, PROVISION_WAIT, true)) return NOT_OK;
    if (std::strstr(reply, "OK")) return DONE;
  }
  return NOT_OK;
}

int CModemTask::PollSignal() {
  // The mutex guards the reading, not the exchange: the front panel asks for
  // the rating from the peripheral task, which must not wait out a silent
  // modem's time-outs. Meanwhile there is no reading.
  if (!m_bMutex || tx_mutex_get(&m_Mutex, TX_WAIT_FOREVER) != TX_SUCCESS) return NO_MUTEX;
  m_sSignal = NO_SIGNAL;
  tx_mutex_put(&m_Mutex);
  char rssi[30] = "";
  const command commands[] = {
      {kPassword, nullptr, 0}, {"AT*TELNETTIMEOUT=20\r", nullptr, 0}, {"AT*NETRSSI?\r", rssi, sizeof rssi}};
  int r = Exchange(commands, sizeof commands / sizeof commands[0], false, true, clean::after_ok);
  m_Client.Disconnect();
  int32_t signal = 0;
  if (r == DONE && !signal_of(rssi, &signal)) r = SEND_FAILED;
  if (r != DONE) return r;
  if (m_bRow) CPeripheral::SetStatusValue(m_dwStatusRow, static_cast<uint32_t>(signal));
  if (CDataBase* d = g_pDataBase)
    d->SetValue(kSignal.offset, kSignal.width, static_cast<uint16_t>(signal), d->mib_v, DB_NOTIFY);
  if (tx_mutex_get(&m_Mutex, TX_WAIT_FOREVER) != TX_SUCCESS) return NO_MUTEX;
  m_sSignal = static_cast<int16_t>(signal);
  tx_mutex_put(&m_Mutex);
  return DONE;
}

void modem_install_services() {
  comm_services s = comm_get_services();
  s.modem_task_create = create_task;
  comm_set_services(s);
}
