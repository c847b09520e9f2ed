#include "comm/modem/modem_driver.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "comm/modem/modem.h"
#include "comm/ntcip_endpoint.h"
#include "comm/ports.h"
#include "comm/ppp/serial_glue.h"
#include "database/database.h"
#include "database/objects.h"
#include "frame/bus/post_office.h"
#include "frame/os/interrupts_masked.h"
#include "frame/serial/ring_buffer.h"
#include "frame/serial/serial_driver.h"
#include "frame/trace/trace.h"
#include "tx_api.h"

namespace {

constexpr char kOk[] = "\r0\r";  // numeric result "OK"
constexpr char kCallerId[] = "NMBR = ";
constexpr uint8_t kCallerIdLength = sizeof kCallerId - 1;
constexpr uint8_t kProtocolIgnoringEvents = 18;

const char* endpoint_name(uint8_t port, bool ppp) {
  switch (port) {
    case COMM_PORT_CCP:
      return ppp ? "ccp_ppp" : "ccp_pmpp";
    case COMM_PORT_AUX:
      return ppp ? "aux_ppp" : "aux_pmpp";
    case COMM_PORT_MODEM:
      return ppp ? "modem_ppp" : "modem_pmpp";
    default:
      return nullptr;
  }
}

void glue_feed(void* driver, uint8_t byte) { static_cast<CModemDriver*>(driver)->FeedByte(byte); }
bool glue_high(void* driver) { return static_cast<CModemDriver*>(driver)->IsBufferHigh(); }

void set_string(const db_object& o, const char* text) {
  if (CDataBase* d = g_pDataBase)
    d->SetString(o.offset, o.width, text, static_cast<uint32_t>(std::strlen(text)), d->mib_nv, DB_NOTIFY);
}

}  // namespace

CModemDriver::CModemDriver() { string_matcher_init(&m_Matcher, nullptr); }

CModemDriver::~CModemDriver() = default;

void CModemDriver::Dial(const char* number) {
  char text[64];
  std::snprintf(text, sizeof text, "ATDTW%s", number ? number : "");
  SendString(text, true);
}

void CModemDriver::Escape() { SendString("+++", false); }

void CModemDriver::HangUp() { SendString("ATH0", true); }

bool CModemDriver::SendString(const char* text, bool add_cr) {
  if (!CModem::RequestAccess(this)) {
    // The endpoints were unbound without getting the driver: give them back
    // their port, or the link would stay dead until the next command.
    if (m_byProtocol >= 1 && m_byProtocol <= 5) ReleaseAccess(this);
    return false;
  }
  for (const char* p = text; p && *p; ++p) {
    m_pSerial->PutTxByte(static_cast<uint8_t>(*p));
    monitor_printf_debug("%c", *p);
  }
  if (add_cr) m_pSerial->PutTxByte('\r');
  monitor_printf_debug("\n");
  ReleaseAccess(this);
  return true;
}

void CModemDriver::OnEvent(void* context, uint32_t event) {
  CModemDriver* d = static_cast<CModemDriver*>(context);
  if (!d || d->m_byProtocol == kProtocolIgnoringEvents) return;
  switch (event) {
    case MODEM_EVENT_RING:
      monitor_printf_debug("ring\n");
      g_post_office.Publish(MSG_MODEM_RING);
      break;
    case MODEM_EVENT_CONNECT:
      monitor_printf_debug("connect\n");
      d->m_byConnected = 1;
      g_post_office.Publish(MSG_MODEM_CONNECT);
      break;
    case MODEM_EVENT_DISCONNECT:
      monitor_printf_debug("disconnect\n");
      g_post_office.Publish(MSG_MODEM_DISCONNECT);
      d->m_byDisconnectDue = 1;
      d->m_byConnected = 0;
      break;
    default:
      monitor_printf_debug("other\n");
      break;
  }
}

bool CModemDriver::TakeDisconnect() {
  interrupts_masked masked;
  const bool due = m_byDisconnectDue != 0;
  m_byDisconnectDue = 0;
  return due;
}

bool CModemDriver::ReleaseAccess(CModemDriver* d) {
  if (!d) return false;
  if (d->m_pSerial) ReleaseDriver(d->m_byPort);
  d->m_pSerial = nullptr;
  switch (d->m_byProtocol) {
    case 0:
      return false;
    case 1:
      return true;
    case 2:
    case 3:
      CNTCIP::Configure(endpoint_name(d->m_byPort, false), d->m_byPort);
      return true;
    case 4:
    case 5:
      CNTCIP::Configure(endpoint_name(d->m_byPort, true), d->m_byPort);
      return true;
    default:
      monitor_printf("CModemDriver::ReleaseAccess: error protocol %d\n", d->m_byProtocol);
      return false;
  }
}

// ---------------------------------------------------------------- dial-up

CModemDriver_Dialup::~CModemDriver_Dialup() {
  CNTCIP::ReleaseModemLink(this);
  if (m_byPort == GLUE_PORT_CCP || m_byPort == GLUE_PORT_AUX || m_byPort == GLUE_PORT_MODEM)
    serial_glue_link_modem(m_byPort, nullptr);
  if (m_pEventSource) m_pEventSource->SetModemCallback(nullptr, nullptr);
  delete m_pResponses;
  m_pResponses = nullptr;
}

bool CModemDriver_Dialup::Open(uint16_t type, uint8_t port, const char* init) {
  m_pResponses = new (std::nothrow) CRingBuffer(RESPONSE_SIZE);
  m_byInitState = STATE_INIT_DUE;
  m_wType = type;
  if (port != COMM_PORT_CCP && port != COMM_PORT_AUX && port != COMM_PORT_MODEM && port != COMM_PORT_LAPTOP)
    return false;
  m_byPort = port;
  CNTCIP::LinkExternalModem(port, this);
  if (port != COMM_PORT_LAPTOP) {
    const glue_modem record = {this, glue_feed, glue_high};
    serial_glue_link_modem(port, &record);
  }
  if (CModem::RequestAccess(this)) {
    uint32_t b = 0;
    while (m_pSerial->ReadByte(&b)) {
    }
    m_pSerial->SetModemCallback(this, OnEvent);
    m_pEventSource = m_pSerial;
  }
  ReleaseAccess(this);
  if (!init) return false;
  std::snprintf(m_szInit, sizeof m_szInit, "%s", init);
  return true;
}

void CModemDriver_Dialup::Service() { Initialize(); }

void CModemDriver_Dialup::OnDisconnect() {
  Escape();
  tx_thread_sleep(ESCAPE_GUARD);
  HangUp();
}

void CModemDriver_Dialup::FeedByte(uint8_t byte) {
  interrupts_masked masked;
  if (m_pResponses) m_pResponses->Put(byte);
}

bool CModemDriver_Dialup::IsBufferHigh() {
  interrupts_masked masked;
  return m_pResponses && m_pResponses->Count() * 4u >= m_pResponses->Size() * 3u;
}

bool CModemDriver_Dialup::NextResponse(uint8_t* byte) {
  interrupts_masked masked;
  return m_pResponses && m_pResponses->Get(byte);
}

void CModemDriver_Dialup::Initialize() {
  uint8_t b = 0;
  switch (m_byInitState) {
    case STATE_INIT_DUE:
      SendString(m_szInit, false);
      string_matcher_init(&m_Matcher, kOk);
      m_byInitState = STATE_WAITING;
      m_byAttempts = 0;
      break;
    case STATE_WAITING:
      // A silent modem gets its init string again on the next poll.
      if (m_byAttempts++ >= INIT_WAIT) m_byInitState = STATE_INIT_DUE;
      while (NextResponse(&b)) {
        monitor_printf_debug("%c", b);
        string_matcher_feed(&m_Matcher, b);
        if (m_Matcher.m_byMatched) {
          monitor_printf_debug("\nInitialized %s\n", CModem::TypeName(m_wType));
          m_byInitState = STATE_READY;
          break;
        }
      }
      break;
    case STATE_READY:
      while (NextResponse(&b)) {
        monitor_printf_debug("%c", b);
        ParseResponse(b);
      }
      break;
    default:
      break;
  }
}

void CModemDriver_Dialup::ParseResponse(uint8_t byte) {
  if (byte == 'N') {
    m_byMatch = 1;
    return;
  }
  if (m_byMatch < kCallerIdLength) {
    m_byMatch = (m_byMatch > 0 && byte == static_cast<uint8_t>(kCallerId[m_byMatch])) ? m_byMatch + 1 : 0;
    m_byNumberLength = 0;
    m_byOverlong = 0;
    return;
  }
  if (byte != '\r') {
    // The number area holds 11 characters; a longer number is not stored
    // cut short as if it were the caller's.
    if (m_byNumberLength < NUMBER_SIZE)
      m_szNumber[m_byNumberLength++] = static_cast<char>(byte);
    else
      m_byOverlong = 1;
    return;
  }
  m_szNumber[m_byNumberLength] = 0;
  m_byMatch = 0;
  if (m_byOverlong) {
    monitor_printf_debug("Caller ID too long\n");
    return;
  }
  if (CDataBase* d = g_pDataBase) {
    d->SetValue(nv::quorCallerIDTime.offset, nv::quorCallerIDTime.width, db_global_time(), d->mib_nv, DB_NOTIFY);
    set_string(nv::quorCallerIDName, "UNKNOWN");
    set_string(nv::quorCallerIDNumber, m_szNumber);
  }
  monitor_printf_debug("Caller ID:%s\n", m_szNumber);
}
