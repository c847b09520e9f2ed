#include "peripherals/devices/radar.h"

#include <cstring>
#include <new>

#include "database/database.h"
#include "database/objects.h"
#include "display/codes/msg_codes.h"
#include "frame/serial/serial_driver.h"
#include "frame/trace/trace.h"
#include "peripherals/devices/can_peripheral.h"
#include "peripherals/devices/io_based.h"
#include "peripherals/pdb.h"
#include "peripherals/peripheral_hooks.h"

namespace {

const char* const kName = "SPEED RADAR";
constexpr uint8_t kCR = 13;
// The message the radar shows (a MessageIDCode).
constexpr db_object kRadarMessage{95084, 4};
// Bytes taken in one poll: a port that never runs dry cannot hold the task.
constexpr uint32_t kBytesPerPoll = 1024;

}  // namespace

CRadar::CRadar(uint16_t type_id) : CPeripheral(CLASS_CODE, type_id) {}

CRadar::~CRadar() {
  // The settings restored are those of the port the radar held.
  if (peripheral_tables_live()) {
    WritePort(PROTOCOL_DEFAULT);
    if (m_byHold) ClearSpeedMessage();
  }
  if (m_pDriver) {
    peripheral_release_driver(AUX_PORT);
    m_pDriver = nullptr;
  }
}

const char* CRadar::NameOfType(uint16_t) { return kName; }

uint16_t CRadar::TypeOfName(const char* name) { return name && std::strcmp(name, kName) == 0 ? TYPE_ID : 0; }

CPeripheral* CRadar::Create(const pl_record& record) {
  auto* r = new (std::nothrow) CRadar(record.type_id);
  if (!r) return nullptr;
  r->m_wPollInterval = POLL_INTERVAL;
  r->m_wPollCountdown = 0;
  r->m_wConfigSlot = record.slot;
  r->m_byFromDatabase = 1;
  if (!r->Init()) {
    delete r;
    return nullptr;
  }
  r->SetEnabled(1);
  return r;
}

void CRadar::WritePort(uint8_t protocol) {
  pdb::set_nv(nv::quorCommConfigProtocol(AUX_INDEX), protocol);
  pdb::set_nv(nv::rs232PortInSpeed(AUX_INDEX), PORT_SPEED);
  pdb::set_nv(nv::quorCommPortReinit, 4);
}

int CRadar::Init() {
  WritePort(PROTOCOL_RADAR);
  peripheral_release_driver(AUX_PORT);
  m_pDriver = peripheral_attain_driver(AUX_PORT);
  if (!m_pDriver) {
    monitor_printf("CRadar::Init: no driver for the AUX port\n");
    m_byState = PERIPHERAL_INIT_ERROR;
    return 0;
  }
  m_byState = PERIPHERAL_READING;
  return 1;
}

void CRadar::Take(uint8_t byte) {
  if (m_byPosition == 0) {
    if (byte == kCR) m_byPosition = 1;
    return;
  }
  if (m_byPosition <= 3) {
    if (byte >= '0' && byte <= '9') {
      m_abyDigits[m_byPosition - 1] = byte;
      ++m_byPosition;
    } else if (byte == kCR) {
      m_byPosition = 1;
    } else {
      m_byState = PERIPHERAL_COMM_ERROR;
      m_byPosition = 0;
    }
    return;
  }
  if (byte != kCR) {
    m_byState = PERIPHERAL_COMM_ERROR;
    m_byPosition = 0;
    return;
  }
  const uint32_t speed =
      100u * (m_abyDigits[0] - '0') + 10u * (m_abyDigits[1] - '0') + (m_abyDigits[2] - '0');
  // 999 does not fit the u8 object: keep the largest it holds.
  pdb::set_v(vol::dmsCurrentSpeed, speed > 255 ? 255 : speed);
  const uint32_t threshold = pdb::get_nv(nv::dmsCurrentSpeedLimit);
  if (threshold != 0 && speed > threshold) ActivateSpeedMessage();
  m_byState = PERIPHERAL_VALID;
  m_byPosition = 1;
}

void CRadar::Poll() {
  if (!m_pDriver || m_byState < PERIPHERAL_READING) return;
  uint32_t byte = 0;
  for (uint32_t n = 0; n < kBytesPerPoll && m_pDriver->ReadByte(&byte); ++n) Take(static_cast<uint8_t>(byte));
  if (m_byHold && --m_byHold == 0) ClearSpeedMessage();
}

void CRadar::ActivateSpeedMessage() {
  if (m_byHold == 0) {
    uint32_t length = 0;
    const uint8_t* stored =
        g_pDataBase ? g_pDataBase->GetString(kRadarMessage.offset, 4, g_pDataBase->mib_nv, &length) : nullptr;
    CMsgIDCode id;
    if (!stored || length != MSG_ID_CODE_SIZE || !id.Decode(stored, length)) return;
    CMsgActivationCode code;
    code.m_wDuration = 0xFFFF;
    code.m_byPriority = 255;
    code.m_byMemoryType = id.m_byMemoryType;
    code.m_wMessageNumber = id.m_wMessageNumber;
    code.m_wCRC = id.m_wCRC;
    std::memset(code.m_bySource, 0, sizeof code.m_bySource);
    code.Encode();
    peripheral_write_activation(SLOT, code.m_encoded, MSG_ACTIVATION_CODE_SIZE);
  }
  m_byHold = HOLD_POLLS;
}

void CRadar::ClearSpeedMessage() {
  peripheral_write_activation(SLOT, nullptr, 0);
  m_byHold = 0;
}
