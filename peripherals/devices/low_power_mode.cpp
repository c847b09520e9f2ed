#include "peripherals/devices/low_power_mode.h"

#include <cstdlib>
#include <new>

#include "database/database.h"
#include "database/objects.h"
#include "display/codes/msg_codes.h"
#include "frame/trace/trace.h"
#include "peripherals/devices/can_peripheral.h"
#include "peripherals/pdb.h"

namespace {
const char* const kName = "SIGN POWER MODE";
constexpr uint8_t kRequesterShort = 2;
constexpr uint8_t kRequesterLong = 7;
constexpr uint8_t kMemoryBlank = 7;
constexpr uint8_t kModeStateRunning = 2;
constexpr uint8_t kModeStateGone = 3;
constexpr uint32_t kDisplayStateEndBackup = 3;
constexpr uint8_t kBattery = 7;

uint32_t (*s_display_state)() = nullptr;

// The 12-byte activation code of a message: unlimited duration, priority
// 255, source 0.0.0.0.
void build_code(CMsgActivationCode* code, uint8_t memory_type, uint16_t number, uint16_t crc) {
  code->m_wDuration = 65535;
  code->m_byPriority = 255;
  code->m_byMemoryType = memory_type;
  code->m_wMessageNumber = number;
  code->m_wCRC = crc;
  for (uint8_t& b : code->m_bySource) b = 0;
  code->Encode();
}

// A stored MessageIDCode of exactly 5 bytes.
bool read_message_id(db_object o, CMsgIDCode* id) {
  if (!g_pDataBase) return false;
  uint32_t n = 0;
  const uint8_t* p = g_pDataBase->GetString(o.offset, 4, g_pDataBase->mib_nv, &n);
  return p && n == 5 && id->Decode(p, n);
}
}  // namespace

void CLowPowerMode::SetDisplayStateQuery(uint32_t (*query)()) { s_display_state = query; }

CLowPowerMode::CLowPowerMode() : CPeripheral(CLASS_CODE, TYPE_ID) {}

CLowPowerMode::~CLowPowerMode() {
  // Dropped at a second start: the rows belong to the old kernel's database.
  if (!peripheral_tables_live()) return;
  pdb::set_v(vol::quorPowerModeStatus, kModeStateGone);
  ClearPowerLossActivation();
}

const char* CLowPowerMode::NameOfType(uint16_t type_id) { return type_id == TYPE_ID ? kName : nullptr; }

CPeripheral* CLowPowerMode::Create(const pl_record& record) {
  CPeripheral::ParseParameters(record.parameters);
  CLowPowerMode* mode = new (std::nothrow) CLowPowerMode();
  if (!mode) return nullptr;
  mode->m_wPollInterval = 2;
  mode->m_wPollCountdown = static_cast<uint16_t>(std::rand() % 2);
  mode->m_wConfigSlot = record.slot;
  mode->m_byFromDatabase = 1;
  mode->Init();
  mode->SetEnabled(1);
  return mode;
}

int CLowPowerMode::Init() {
  m_dwMode = MODE_NORMAL;
  m_byActivated = 0;
  m_byState = PERIPHERAL_READING;
  pdb::set_v(vol::quorPowerModeStatus, kModeStateRunning);
  return 1;
}

void CLowPowerMode::WriteSlot(uint32_t slot, uint8_t source, uint8_t requester, const uint8_t* code) {
  if (!g_pDataBase) return;
  pdb::set_v(vol::activationSlotSourceMode(slot), source);
  pdb::set_v(vol::activationSlotReason(slot), requester);
  g_pDataBase->SetString(vol::activationSlotCode(slot).offset, 4, code, MSG_ACTIVATION_CODE_SIZE, g_pDataBase->mib_v,
                         DB_NOTIFY);
}

void CLowPowerMode::ClearPowerLossActivation() {
  if (!g_pDataBase) return;
  const uint8_t zeros[MSG_ACTIVATION_CODE_SIZE] = {};
  g_pDataBase->SetString(vol::activationSlotCode(kLossSlot).offset, 4, zeros, sizeof zeros, g_pDataBase->mib_v,
                         DB_NOTIFY);
}

int CLowPowerMode::ActivatePowerLossMessage() {
  CMsgIDCode id;
  if (!read_message_id(nv::dmsPowerLossMessage, &id)) return 0;
  pdb::set_nv(nv::quorDisplayMode, 1);
  CMsgActivationCode code;
  build_code(&code, id.m_byMemoryType, id.m_wMessageNumber, id.m_wCRC);
  const uint8_t* b = code.m_encoded;
  monitor_printf_debug("Set power loss to %X %X %X %X %X %X %X %X %X %X %X %X\n", b[0], b[1], b[2], b[3], b[4], b[5],
                       b[6], b[7], b[8], b[9], b[10], b[11]);
  WriteSlot(kLossSlot, kSourceLoss, kRequesterShort, code.m_encoded);
  return 1;
}

void CLowPowerMode::BlankPowerLoss() {
  CMsgActivationCode code;
  build_code(&code, kMemoryBlank, 1, 0);
  const uint8_t* b = code.m_encoded;
  monitor_printf_debug("blank PowerLoss to %X %X %X %X %X %X %X\n", b[0], b[1], b[2], b[3], b[4], b[5], b[6]);
  WriteSlot(kLossSlot, kSourceLoss, kRequesterShort, code.m_encoded);
}

void CLowPowerMode::Recover() {
  if (!m_byActivated) return;
  ClearPowerLossActivation();
  m_byActivated = 0;
  const int64_t outage = m_llRestoreTime - m_llLossTime;
  const bool is_short = outage < static_cast<int64_t>(pdb::get_nv(nv::dmsShortPowerLossTime));
  CMsgIDCode id;
  if (!read_message_id(is_short ? nv::dmsShortPowerRecoveryMessage : nv::dmsLongPowerRecoveryMessage, &id)) return;
  CMsgActivationCode code;
  build_code(&code, id.m_byMemoryType, id.m_wMessageNumber, id.m_wCRC);
  WriteSlot(kRecoverySlot, kSourceRecovery, is_short ? kRequesterShort : kRequesterLong, code.m_encoded);
}

void CLowPowerMode::Poll() {
  if (m_byState < PERIPHERAL_READING) return;
  m_byState = PERIPHERAL_VALID;
  const bool battery = pdb::get_v(vol::powerSource) == kBattery;
  const int64_t now = static_cast<int32_t>(pdb::global_time());
  switch (m_dwMode) {
    case MODE_NORMAL:
      if (battery) {
        m_dwCounter = kDebouncePolls;
        m_llLossTime = now;
        m_dwMode = MODE_LOSS_DEBOUNCE;
      }
      break;
    case MODE_LOSS_DEBOUNCE:
      if (!battery) {
        m_dwMode = MODE_POWER_BACK;
      } else if (--m_dwCounter == 0) {
        ActivatePowerLossMessage();
        m_byActivated = 1;
        m_dwCounter = pdb::get_nv(nv::quorLowPowerDuration) * 60;
        // No backup time: blank at once rather than count down from zero.
        m_dwMode = m_dwCounter ? MODE_MESSAGE_SHOWN : MODE_BLANK_NOW;
      }
      break;
    case MODE_MESSAGE_SHOWN:
      if (!battery) {
        m_dwMode = MODE_POWER_BACK;
      } else if (pdb::get_nv(nv::quorLowPowerDuration) != kBackupNever) {
        if (m_dwCounter) --m_dwCounter;
        if (m_dwCounter == 0 || (s_display_state && s_display_state() == kDisplayStateEndBackup))
          m_dwMode = MODE_BLANK_NOW;
      }
      break;
    case MODE_BLANK_NOW:
      BlankPowerLoss();
      m_dwMode = MODE_BLANKED;
      break;
    case MODE_BLANKED:
      if (!battery) m_dwMode = MODE_POWER_BACK;
      break;
    case MODE_POWER_BACK:
      m_dwCounter = kDebouncePolls;
      m_llRestoreTime = now;
      m_dwMode = MODE_RECOVERY_DEBOUNCE;
      break;
    case MODE_RECOVERY_DEBOUNCE:
      if (--m_dwCounter == 0) {
        Recover();
        m_dwMode = MODE_NORMAL;
      } else if (battery) {
        m_dwCounter = kDebouncePolls;
        m_dwMode = MODE_LOSS_DEBOUNCE;
      }
      break;
    default:
      m_dwMode = MODE_NORMAL;
      break;
  }
}
