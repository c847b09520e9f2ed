#include "peripherals/devices/rtd_protocol.h"

#include <cstring>
#include <new>

#include "database/database.h"
#include "database/objects.h"
#include "frame/serial/serial_driver.h"
#include "frame/trace/trace.h"
#include "peripherals/devices/can_peripheral.h"
#include "peripherals/pdb.h"
#include "peripherals/peripheral_hooks.h"

namespace {
const char* const kName = "REAL TIME DATA INPUT";
constexpr uint8_t kCR = 13;
constexpr uint32_t kAuxIndex = 1;  // the AUX port's row of the port settings
// Bytes taken in one poll: far more than a cycle brings at 9600 baud, and a
// port that never runs dry cannot hold the task.
constexpr uint32_t kBytesPerPoll = 4096;
}  // namespace

CRTD_Protocol::CRTD_Protocol(uint16_t type_id) : CPeripheral(CLASS_CODE, type_id) {}

CRTD_Protocol::~CRTD_Protocol() {
  // Dropped at a second start: the port rows are the old kernel's.
  if (peripheral_tables_live()) WritePortSettings(PROTOCOL_DEFAULT);
  // The communication task takes the port again when it rebuilds its
  // endpoints: it must find the driver free.
  if (m_pDriver) {
    peripheral_release_driver(AUX_PORT);
    m_pDriver = nullptr;
  }
  delete[] m_pBuffer;
  m_pBuffer = nullptr;
}

const char* CRTD_Protocol::NameOfType(uint16_t) { return kName; }

uint16_t CRTD_Protocol::TypeOfName(const char* name) {
  return name && std::strcmp(name, kName) == 0 ? TYPE_ID : 0;
}

CPeripheral* CRTD_Protocol::Create(const pl_record& record) {
  CRTD_Protocol* rtd = new (std::nothrow) CRTD_Protocol(record.type_id);
  if (!rtd) return nullptr;
  rtd->m_wPollInterval = 1;
  rtd->m_wPollCountdown = 0;
  rtd->m_wConfigSlot = record.slot;
  rtd->m_byFromDatabase = 1;
  if (!rtd->Init()) {
    delete rtd;
    return nullptr;
  }
  rtd->SetEnabled(1);
  return rtd;
}

void CRTD_Protocol::WritePortSettings(uint8_t protocol) {
  pdb::set_nv(nv::quorCommConfigProtocol(kAuxIndex), protocol);
  pdb::set_nv(nv::quorCommConfigFlowControl(kAuxIndex), 0);
  pdb::set_nv(nv::rs232PortInSpeed(kAuxIndex), PORT_SPEED);
  pdb::set_nv(nv::quorCommPortReinit, PORT_REINIT);
}

int CRTD_Protocol::Init() {
  WritePortSettings(PROTOCOL_RTD);
  peripheral_release_driver(AUX_PORT);
  m_pDriver = peripheral_attain_driver(AUX_PORT);
  if (!m_pDriver) {
    monitor_printf("CRTD_Protocol::Init: no driver for the AUX port\n");
    m_byState = PERIPHERAL_INIT_ERROR;
    return 0;
  }
  m_pBuffer = new (std::nothrow) uint8_t[BUFFER_SIZE];
  if (!m_pBuffer) {
    m_byState = PERIPHERAL_INIT_ERROR;
    return 0;
  }
  m_dwDataCount = 0;
  std::memset(m_pBuffer, 0, BUFFER_SIZE);
  pdb::set_v(vol::rtdBufferSize, BUFFER_SIZE);
  if (g_pDataBase) g_pDataBase->SetString(vol::quorRealTimeData.offset, 4, nullptr, 0, g_pDataBase->mib_v, DB_NOTIFY);
  m_byState = PERIPHERAL_READING;
  return 1;
}

void CRTD_Protocol::Publish() {
  if (m_dwDropped)
    monitor_printf("CRTD_Protocol::Poll: record of %u bytes cut to %u\n",
                   static_cast<unsigned>(m_dwDataCount + m_dwDropped), static_cast<unsigned>(BUFFER_SIZE));
  if (g_pDataBase)
    g_pDataBase->SetString(vol::quorRealTimeData.offset, 4, m_dwDataCount ? m_pBuffer : nullptr, m_dwDataCount,
                           g_pDataBase->mib_v, DB_NOTIFY);
  m_dwDataCount = 0;
  m_dwDropped = 0;
  m_byState = PERIPHERAL_VALID;
}

void CRTD_Protocol::Take(uint8_t byte) {
  if (m_byPhase < PHASE_HEADER || m_byPhase > PHASE_DATA) {
    if (byte == kCR) m_byPhase = PHASE_HEADER;
    return;
  }
  if (m_byPhase < PHASE_LAST_HEADER) {
    m_byPhase = byte == kCR ? static_cast<uint8_t>(PHASE_HEADER) : static_cast<uint8_t>(m_byPhase + 1);
    return;
  }
  if (m_byPhase == PHASE_LAST_HEADER) {
    if (byte == kCR) {
      m_byPhase = PHASE_HEADER;
    } else {
      m_dwDataCount = 0;
      m_dwDropped = 0;
      m_byPhase = PHASE_DATA;
    }
    return;
  }
  if (byte == kCR) {
    Publish();
    m_byPhase = PHASE_HEADER;
  } else if (m_dwDataCount < BUFFER_SIZE) {
    m_pBuffer[m_dwDataCount++] = byte;
  } else {
    ++m_dwDropped;
  }
}

void CRTD_Protocol::Poll() {
  if (m_byState < PERIPHERAL_READING || !m_pDriver || !m_pBuffer) return;
  uint32_t byte = 0;
  for (uint32_t n = 0; n < kBytesPerPoll && m_pDriver->ReadByte(&byte); ++n) {
    m_bySilence = 0;
    Take(static_cast<uint8_t>(byte));
  }
  if (m_bySilence < SILENCE_LIMIT) {
    ++m_bySilence;
  } else if (m_bySilence == SILENCE_LIMIT) {
    monitor_printf_debug("Warning: RTD Comm Timeout %d\n", m_wTypeId);
    m_bySilence = SILENCE_LIMIT + 1;
    m_byState = PERIPHERAL_COMM_ERROR;
  }
}
