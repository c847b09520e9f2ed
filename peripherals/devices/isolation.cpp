#include "peripherals/devices/isolation.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "frame/trace/trace.h"
#include "peripherals/power_supply_table.h"

namespace {

const char* name_of(uint16_t t) {
  static const char* const kNames[] = {"ISOLATION BOARD 1", "ISOLATION BOARD 2", "ISOLATION BOARD 3",
                                       "ISOLATION BOARD 4", "ISOLATION BOARD 5", "ISOLATION BOARD 6",
                                       "ISOLATION BOARD 7", "ISOLATION BOARD 8"};
  if (t < CIsolationBoard::FIRST_TYPE || t > CIsolationBoard::LAST_TYPE) return nullptr;
  return kNames[t - CIsolationBoard::FIRST_TYPE];
}

}  // namespace

CIsolationBoard::CIsolationBoard(uint16_t type_id, uint32_t selector, uint32_t address, uint32_t channel)
    : can_peripheral(CLASS_CODE, type_id, selector, address, channel) {
  m_pszStatusText = m_szStatus;
}

CIsolationBoard::~CIsolationBoard() {
  if (can_core* core = hub()) core->unregister_device(this);
  if (!peripheral_tables_live()) return;
  CPeripheral::UnregisterStatus(m_uInputRow);
  CPeripheral::UnregisterStatus(m_uOutputRow);
  m_uInputRow = m_uOutputRow = kRowAny;
  if (m_bPowerRegistered) g_power_supply_table.UnRegisterPowerSupply(&m_wPowerSupplyId);
  m_bPowerRegistered = false;
}

const char* CIsolationBoard::NameOfType(uint16_t type_id) { return name_of(type_id); }

uint16_t CIsolationBoard::TypeOfName(const char* name) {
  if (!name) return 0;
  for (uint16_t t = FIRST_TYPE; t <= LAST_TYPE; ++t)
    if (std::strcmp(name_of(t), name) == 0) return t;
  return 0;
}

CPeripheral* CIsolationBoard::Create(const pl_record& record) {
  if (!name_of(record.type_id)) return nullptr;
  CPeripheral::ParseParameters(record.parameters);
  auto* b = new (std::nothrow) CIsolationBoard(record.type_id, static_cast<uint8_t>(s_dwParamValues[1]),
                                               s_dwParamValues[0], static_cast<uint8_t>(s_dwParamValues[2]));
  if (!b) return nullptr;
  b->m_wPollInterval = POLL_INTERVAL;
  b->m_wPollCountdown = static_cast<uint16_t>(std::rand() % POLL_INTERVAL);
  b->m_wConfigSlot = record.slot;
  b->m_byFromDatabase = 1;
  if (!b->Init()) {
    delete b;
    return nullptr;
  }
  b->SetEnabled(1);
  return b;
}

int CIsolationBoard::Init() {
  aux_index_list list;
  const bool have_list = CPeripheral::GetAuxIOIndexList(m_wConfigSlot, &list) != 0;
  m_uInputRow = have_list && list.count > 0 ? list.rows[0] : kRowAny;
  m_uOutputRow = have_list && list.count > 1 ? list.rows[1] : kRowAny;
  RegisterCan();
  m_bPowerRegistered =
      g_power_supply_table.RegisterPowerSupply(&m_wPowerSupplyId, TypeName(), "POWER SUPPLY PASS", POWER_TYPE) != 0;
  const bool rows =
      m_bPowerRegistered &&
      CPeripheral::RegisterStatus(&m_uInputRow, PORT_DIGITAL, 2, 8, "%s %s", TypeName(), "VOLTAGE IN (Volts)") &&
      CPeripheral::RegisterStatus(&m_uOutputRow, PORT_DIGITAL, 2, 8, "%s %s", TypeName(), "VOLTAGE OUT (Volts)");
  if (!rows) {
    CPeripheral::UnregisterStatus(m_uInputRow);
    CPeripheral::UnregisterStatus(m_uOutputRow);
    m_uInputRow = m_uOutputRow = kRowAny;
    if (m_bPowerRegistered) g_power_supply_table.UnRegisterPowerSupply(&m_wPowerSupplyId);
    m_bPowerRegistered = false;
    m_byState = PERIPHERAL_INIT_ERROR;
    return 0;
  }
  if (have_list) {
    aux_index_list saved;
    saved.Append(m_uInputRow);
    saved.Append(m_uOutputRow);
    CPeripheral::SetAuxIOIndexList(m_wConfigSlot, &saved);
  }
  m_byState = PERIPHERAL_READING;
  return 1;
}

void CIsolationBoard::OnStatus(const can_packet& p) {
  // A reading of 0 V is a dead supply, reported as such: keeping the last
  // non-zero value would show a failed supply as healthy.
  const uint16_t in = Word(p, 3);
  m_byTenthsIn = static_cast<uint8_t>(in % 10);
  m_byVoltsIn = static_cast<uint8_t>(in / 10 > 255 ? 255 : in / 10);
  CPeripheral::SetStatusValue(m_uInputRow, m_byVoltsIn);
  g_power_supply_table.SetPowerSupplyVoltage(m_wPowerSupplyId,
                                             static_cast<uint16_t>(m_byVoltsIn * 100 + m_byTenthsIn * 10));
  const uint16_t out = Word(p, 5);
  m_byTenthsOut = static_cast<uint8_t>(out % 10);
  m_byVoltsOut = static_cast<uint8_t>(out / 10 > 255 ? 255 : out / 10);
  CPeripheral::SetStatusValue(m_uOutputRow, m_byVoltsOut);

  if (m_byVoltsIn < MIN_VOLTS) {
    std::snprintf(m_szStatus, sizeof m_szStatus, "PWR FAIL");
    g_power_supply_table.SetPowerSupplyError(m_wPowerSupplyId, 3,
                                             m_byVoltsIn == 0 ? "POWER SUPPLY FAIL" : "LOW VOLTAGE");
  } else {
    g_power_supply_table.ClearPowerSupplyError(m_wPowerSupplyId, "POWER SUPPLY PASS");
    std::snprintf(m_szStatus, sizeof m_szStatus, "%d.%dV", m_byVoltsIn, m_byTenthsIn);
  }
  m_byState = PERIPHERAL_VALID;
}

void CIsolationBoard::Service(const char* format) {
  monitor_printf_debug(format, m_bySilence, m_byAttempts);
  ++m_byAttempts;
  service();
}

void CIsolationBoard::Silent() {
  // The count is 1 after a poll that heard the board, so silent poll k
  // finds k here.
  if (m_bySilence < SILENT_POLLS) {
    const bool again = m_bySilence >= 2;
    ++m_bySilence;
    if (again && Serviceable()) Service("reinit q5 can driver Timeout = %d, Attempts = %d\n");
  } else if (m_bySilence == SILENT_POLLS) {
    m_bySilence = SILENT_POLLS + 1;
    CPeripheral::SetStatusValue(m_uInputRow, 0);
    CPeripheral::SetStatusValue(m_uOutputRow, 0);
    g_power_supply_table.SetPowerSupplyError(m_wPowerSupplyId, 3, "COMM ERROR");
    g_power_supply_table.SetPowerSupplyVoltage(m_wPowerSupplyId, 0);
    m_byState = PERIPHERAL_COMM_ERROR;
    if (Serviceable() && m_byAttempts < MAX_SERVICES)
      Service("Timeout reinit q5 can driver Timeout = %d, Attempts = %d\n");
  } else if (Serviceable() && m_byAttempts < MAX_SERVICES) {
    Service("Timeout+ reinit q5 can driver Timeout = %d, Attempts = %d\n");
  }
}

void CIsolationBoard::Poll() {
  if (m_byState < PERIPHERAL_READING) return;
  can_packet p;
  while (NextReply(&p)) {
    m_bySilence = 0;
    if (p.data[0] == CAN_REPLY_INPUTS) {
      OnStatus(p);
    } else if (p.data[0] == CAN_REPLY_IDENTIFY) {
      m_wVersion = Word(p, 5);
      m_byQueryPhase = 1;
    }
  }
  SendCommand(m_byQueryPhase == 0 ? CAN_CMD_IDENTIFY : CAN_CMD_READ);
  Silent();
}
