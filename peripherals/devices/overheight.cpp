#include "peripherals/devices/overheight.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "display/codes/msg_codes.h"
#include "frame/trace/trace.h"
#include "peripherals/pdb.h"

namespace {

const char* const kNames[] = {"OVERHEIGHT01", "OVERHEIGHT02"};

}  // namespace

COverheightDetector::COverheightDetector(uint16_t type_id) : CPeripheral(CLASS_CODE, type_id) {}

COverheightDetector::~COverheightDetector() {
  if (!peripheral_tables_live()) {
    m_Bridge.Detach();
    return;
  }
  if (m_byActivation == ACTIVE) ClearEmergencyMessage();
  // No input notification reaches an object on its way out.
  if (DCIO* board = dynamic_cast<DCIO*>(m_pBoard)) board->RemoveClient(this);
  CPeripheral::UnregisterStatus(m_uStatusRow);
  m_uStatusRow = kRowAny;
  if (m_dwNodeId) m_Bridge.UnRegister(m_dwNodeId);
  m_dwNodeId = 0;
  m_Bridge.Detach();
}

const char* COverheightDetector::NameOfType(uint16_t type_id) {
  return type_id >= FIRST_TYPE && type_id <= LAST_TYPE ? kNames[type_id - FIRST_TYPE] : nullptr;
}

uint16_t COverheightDetector::TypeOfName(const char* name) {
  if (!name) return 0;
  for (uint16_t t = FIRST_TYPE; t <= LAST_TYPE; ++t)
    if (std::strcmp(kNames[t - FIRST_TYPE], name) == 0) return t;
  return 0;
}

CPeripheral* COverheightDetector::Create(const pl_record& record) {
  CPeripheral::ParseParameters(record.parameters);
  const uint8_t point = static_cast<uint8_t>(s_dwParamValues[0]);
  const uint16_t board_type = static_cast<uint16_t>(s_dwParamValues[1]);
  const uint8_t inverted = static_cast<uint8_t>(s_dwParamValues[2]);
  const uint16_t message = static_cast<uint16_t>(s_dwParamValues[3]);
  CPeripheral* board = live_peripheral(board_type);
  auto* d = new (std::nothrow) COverheightDetector(record.type_id);
  if (!d) return nullptr;
  d->m_wPollInterval = POLL_INTERVAL;
  d->m_wPollCountdown = static_cast<uint16_t>(std::rand() % POLL_INTERVAL);
  d->m_wConfigSlot = record.slot;
  d->m_byFromDatabase = 1;
  if (!d->Init(point, board, inverted, message)) {
    delete d;
    return nullptr;
  }
  d->SetEnabled(1);
  return d;
}

int COverheightDetector::Init(uint8_t point, CPeripheral* board, uint8_t inverted, uint16_t message) {
  m_pBoard = board;
  m_byInverted = inverted;
  m_wMessage = message;
  // Only a DC I/O board can carry the input.
  if (!dynamic_cast<DCIO*>(board)) {
    m_pBoard = nullptr;
    m_byState = PERIPHERAL_INIT_ERROR;
    return 0;
  }
  if (m_Bridge.Init(board->m_wTypeId, this)) {
    uint32_t channels = 0;
    dcio_bridge::ChannelMask(point, &channels, true);
    m_dwNodeId = m_Bridge.Register(interface_cfg(channels, 0, 0, 0));
  }
  const bool row = register_status_row(this, &m_uStatusRow, PORT_DIGITAL, 2, 1) != 0;
  if (row && m_dwNodeId) {
    m_byState = PERIPHERAL_READING;
    return 1;
  }
  m_byState = PERIPHERAL_INIT_ERROR;
  return 0;
}

void COverheightDetector::OnInput() {
  if (m_Bridge.LastReplyCode(m_dwNodeId) != CAN_REPLY_INPUTS) return;
  m_byState = PERIPHERAL_VALID;
  bool active = m_Bridge.Get(m_dwNodeId, 0) != 0;
  if (m_byInverted) active = !active;
  if (m_uStatusRow != kRowAny) CPeripheral::SetStatusValue(m_uStatusRow, active ? 1 : 0);
  if (m_byActivation == IDLE && active) {
    ActivateEmergencyMessage();
    m_byActivation = ACTIVE;
  } else if (m_byActivation == ACTIVE && !active) {
    ClearEmergencyMessage();
    m_byActivation = IDLE;
  }
}

void COverheightDetector::Poll() {
  if (m_byState < PERIPHERAL_READING) return;
  if (m_pBoard && m_pBoard->m_byState == PERIPHERAL_COMM_ERROR) m_byState = PERIPHERAL_COMM_ERROR;
  m_Bridge.Process();
}

void COverheightDetector::ActivateEmergencyMessage() {
  if (!g_pDataBase) return;
  CDataBase& db = *g_pDataBase;
  CMsgActivationCode code;
  code.m_wDuration = 65535;
  code.m_byPriority = 255;
  // A chosen changeable message needs nothing of the emergency message;
  // past the message table there is no CRC to read.
  if (m_wMessage > 0 && m_wMessage <= 550) {
    code.m_byMemoryType = 3;
    code.m_wMessageNumber = m_wMessage;
    code.m_wCRC = static_cast<uint16_t>(pdb::get_nv(nv::dmsMessageCRC(m_wMessage - 1u)));
  } else {
    uint32_t length = 0;
    const uint8_t* stored =
        db.GetString(nv::quorEmergencyMessage.offset, nv::quorEmergencyMessage.width, db.mib_nv, &length);
    CMsgIDCode id;
    if (!stored || length != MSG_ID_CODE_SIZE || !id.Decode(stored, length)) {
      monitor_printf("Error reading quorEmergencyMessage\n");
      return;
    }
    code.m_byMemoryType = id.m_byMemoryType;
    code.m_wMessageNumber = id.m_wMessageNumber;
    code.m_wCRC = id.m_wCRC;
  }
  std::memset(code.m_bySource, 0, sizeof code.m_bySource);
  code.Encode();
  const uint32_t s = Slot();
  pdb::set_v(vol::activationSlotSourceMode(s), 1);
  pdb::set_v(vol::activationSlotReason(s), 6);
  db.SetString(vol::activationSlotCode(s).offset, vol::activationSlotCode(s).width, code.m_encoded,
               MSG_ACTIVATION_CODE_SIZE, db.mib_v, DB_NOTIFY);
}

void COverheightDetector::ClearEmergencyMessage() {
  if (!g_pDataBase) return;
  CDataBase& db = *g_pDataBase;
  static const uint8_t kNone[MSG_ACTIVATION_CODE_SIZE] = {};
  db.SetString(vol::activationSlotCode(Slot()).offset, vol::activationSlotCode(Slot()).width, kNone,
               MSG_ACTIVATION_CODE_SIZE, db.mib_v, DB_NOTIFY);
}
