#include "comm/modem/modem.h"

#include <cstring>
#include <new>

#include "comm/modem/modem_driver.h"
#include "comm/ntcip_endpoint.h"
#include "comm/ports.h"
#include "database/database.h"
#include "database/objects.h"
#include "frame/timer/timer_event.h"
#include "frame/timer/timer_scheduler.h"
#include "frame/trace/trace.h"
#include "ntcip/snmp/agent/request.h"

namespace {

const char* const kInternalName = "INTERNAL DIALUP MODEM";
const char* const kExternalName = "EXTERNAL DIALUP MODEM";
constexpr uint32_t kModemParameters = 2;  // the MODEM port's row of the port settings
constexpr uint32_t kResetTypeAfterSetup = 1;

// The comm timer: the timer service calls the modem's OnTimer with 0.
class comm_timer_event : public timer_event {
 public:
  explicit comm_timer_event(CModem* modem) : m_pModem(modem) {}
  void Fire() override { m_pModem->OnTimer(0); }

 private:
  CModem* m_pModem;
};

int port_index(uint8_t port) {
  switch (port) {
    case COMM_PORT_CCP:
      return 0;
    case COMM_PORT_AUX:
      return 1;
    case COMM_PORT_MODEM:
      return 2;
    default:
      return -1;
  }
}

const char* const kEndpoints[3][2] = {
    {"ccp_pmpp", "ccp_ppp"}, {"aux_pmpp", "aux_ppp"}, {"modem_pmpp", "modem_ppp"}};

}  // namespace

CModem::CModem(uint16_t type_id) : CPeripheral(CLASS_CODE, type_id) {}

CModem::~CModem() {
  delete m_pDriver;
  m_pDriver = nullptr;
  StopCommTimer();
}

const char* CModem::TypeName(uint16_t type_id) {
  switch (type_id) {
    case TYPE_INTERNAL:
      return kInternalName;
    case TYPE_EXTERNAL:
      return kExternalName;
    default:
      return nullptr;
  }
}

uint16_t CModem::TypeId(const char* name) {
  if (!name) return 0;
  if (std::strcmp(name, kInternalName) == 0) return TYPE_INTERNAL;
  if (std::strcmp(name, kExternalName) == 0) return TYPE_EXTERNAL;
  return 0;
}

CPeripheral* CModem::Create(const pl_record& record) {
  if (!TypeName(record.type_id) || !record.parameters) return nullptr;
  ParseParameters(record.parameters);
  const uint32_t port = s_dwParamValues[0];
  char text[kParamTextSize];
  std::memcpy(text, s_szParamTexts[1], sizeof text);
  CModem* modem = new (std::nothrow) CModem(record.type_id);
  if (!modem) return nullptr;
  modem->m_wConfigSlot = record.slot;
  modem->m_wPollInterval = 1;
  modem->m_wPollCountdown = 0;
  if (port > 0xFF || !modem->Init(static_cast<uint8_t>(port), text)) {
    delete modem;
    return nullptr;
  }
  modem->SetEnabled(1);
  return modem;
}

bool CModem::Init(uint8_t port, const char* parameters) {
  const char* text = parameters ? parameters : "";
  bool ok = false;
  if (m_wTypeId == TYPE_INTERNAL || m_wTypeId == TYPE_EXTERNAL) {
    m_pDriver = new (std::nothrow) CModemDriver_Dialup();
    if (m_pDriver) {
      const char* init = m_wTypeId == TYPE_INTERNAL ? INTERNAL_INIT : *text ? text : EXTERNAL_INIT;
      ok = m_pDriver->Open(m_wTypeId, port, init);
    }
  }
  CDataBase* d = g_pDataBase;
  if (ok && m_wTypeId == TYPE_INTERNAL && d) {
    // The internal modem takes the MODEM port as it is; a parameter text
    // left there asks for a reset that drops it.
    const db_object o = nv::quorCommConfigParameters(kModemParameters);
    uint32_t length = 0;
    const uint8_t* current = d->GetString(o.offset, o.width, d->mib_nv, &length);
    if (current && length && current[0]) {
      d->SetString(o.offset, o.width, "", 0, d->mib_nv, 0);
      d->SetValue(nv::dmsSWReset.offset, nv::dmsSWReset.width, kResetTypeAfterSetup, d->mib_nv, 0);
    }
  }
  m_byState = ok ? PERIPHERAL_READING : PERIPHERAL_INIT_ERROR;
  return ok;
}

void CModem::Poll() {
  if (m_byState < PERIPHERAL_READING || !m_pDriver) return;
  m_pDriver->Service();
  if (m_pDriver->IsReady()) {
    m_byFailedPolls = 0;
    m_byState = PERIPHERAL_VALID;
  } else if (++m_byFailedPolls > FAILED_POLL_LIMIT) {
    monitor_printf_debug("Warning: Comm Timeout %04X\n", m_wTypeId);
    m_byFailedPolls = 0;
    m_byState = PERIPHERAL_COMM_ERROR;
  }

  if (!m_byTimerRunning) {
    if (m_pDriver->m_byConnected && g_timer_scheduler) {
      comm_timer_event* event = new (std::nothrow) comm_timer_event(this);
      m_dwTimerId = event ? g_timer_scheduler->AddEvent(event, COMM_TIMEOUT, 1) : 0;
      if (event && !m_dwTimerId) delete event;
      m_byTimerRunning = m_dwTimerId ? 1 : 0;
      m_byHangUpRequested = 0;
    }
  } else {
    if (g_modem_snmp_activity) {
      g_modem_snmp_activity = 0;
      g_timer_scheduler->RestartEvent(m_dwTimerId);
    }
    if (!m_pDriver->m_byConnected) StopCommTimer();
  }

  if (m_pDriver->TakeDisconnect()) m_byHangUpRequested = 1;
  if (m_byHangUpRequested) {
    m_byHangUpRequested = 0;
    m_pDriver->OnDisconnect();
  }
}

void CModem::OnTimer(uint32_t argument) {
  if (argument == 0) m_byHangUpRequested = 1;
}

uint8_t CModem::GetModemPort() const { return m_pDriver ? m_pDriver->GetPort() : 0; }

void CModem::StopCommTimer() {
  if (m_byTimerRunning && g_timer_scheduler) g_timer_scheduler->RemoveEvent(m_dwTimerId);
  m_byTimerRunning = 0;
  m_dwTimerId = 0;
}

bool CModem::RequestAccess(CModemDriver* driver) {
  if (!driver) return false;
  const uint8_t port = driver->m_byPort;
  const int index = port_index(port);
  if (index < 0) {
    monitor_printf("CModem::RequestAccess: error port setting %d\n", port);
    return false;
  }
  CDataBase* d = g_pDataBase;
  const db_object o = nv::quorCommConfigProtocol(static_cast<uint32_t>(index));
  driver->m_byProtocol = d ? static_cast<uint8_t>(d->GetValue(o.offset, o.width, d->mib_nv, 0)) : 0;
  if (driver->m_byProtocol < 1 || driver->m_byProtocol > 5) {
    monitor_printf("CModem::RequestAccess: error protocol %d\n", driver->m_byProtocol);
    return false;
  }
  CNTCIP::Configure(kEndpoints[index][0], COMM_PORT_NONE);
  CNTCIP::Configure(kEndpoints[index][1], COMM_PORT_NONE);
  driver->m_pSerial = AttainDriver(port);
  return driver->m_pSerial != nullptr;
}
