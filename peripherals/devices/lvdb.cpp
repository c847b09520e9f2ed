#include "peripherals/devices/lvdb.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "frame/trace/trace.h"
#include "peripherals/power_supply_table.h"

namespace {

const char* name_of(uint16_t t) {
  static char names[CLVDB::LAST_TYPE - CLVDB::FIRST_TYPE + 1][16];
  if (t < CLVDB::FIRST_TYPE || t > CLVDB::LAST_TYPE) return nullptr;
  char* s = names[t - CLVDB::FIRST_TYPE];
  if (!s[0]) std::snprintf(s, sizeof names[0], "POWER LVDB%d", t - CLVDB::FIRST_TYPE + 1);
  return s;
}

}  // namespace

CLVDB::CLVDB(uint16_t type_id, uint32_t selector, uint32_t address)
    : can_peripheral(CLASS_CODE, type_id, selector, address, 0) {}

CLVDB::~CLVDB() {
  if (can_core* core = hub()) core->unregister_device(this);
  if (!peripheral_tables_live()) return;
  CPeripheral::UnregisterStatus(m_uVoltageRow);
  CPeripheral::UnregisterStatus(m_uFuseRow);
  m_uVoltageRow = m_uFuseRow = kRowAny;
  if (m_bPowerRegistered) g_power_supply_table.UnRegisterPowerSupply(&m_wPowerSupplyId);
  m_bPowerRegistered = false;
}

const char* CLVDB::NameOfType(uint16_t type_id) { return name_of(type_id); }

uint16_t CLVDB::TypeOfName(const char* name) {
  if (!name) return 0;
  for (uint16_t t = FIRST_TYPE; t <= LAST_TYPE; ++t)
    if (std::strcmp(name_of(t), name) == 0) return t;
  return 0;
}

CPeripheral* CLVDB::Create(const pl_record& record) {
  CPeripheral::ParseParameters(record.parameters);
  CLVDB* b = new (std::nothrow)
      CLVDB(record.type_id, static_cast<uint8_t>(s_dwParamValues[1]), s_dwParamValues[0]);
  if (!b) return nullptr;
  b->m_wPollInterval = POLL_INTERVAL;
  b->m_wPollCountdown = static_cast<uint16_t>((record.type_id - FIRST_TYPE) % POLL_INTERVAL);
  b->m_wConfigSlot = record.slot;
  b->m_byFromDatabase = 1;
  if (!b->Init()) {
    delete b;
    return nullptr;
  }
  b->SetEnabled(1);
  return b;
}

int CLVDB::Init() {
  RegisterCan();
  m_bPowerRegistered =
      g_power_supply_table.RegisterPowerSupply(&m_wPowerSupplyId, TypeName(), "POWER SUPPLY PASS",
                                               CPowerSupplyTable::TYPE_DISTRIBUTION) != 0;
  if (!m_bPowerRegistered) monitor_printf("Failed to register %s in Power Supply Table\n", TypeName());

  aux_index_list list;
  const bool have_list = CPeripheral::GetAuxIOIndexList(m_wConfigSlot, &list) != 0;
  m_uVoltageRow = have_list && list.count > 0 ? list.rows[0] : kRowAny;
  m_uFuseRow = have_list && list.count > 1 ? list.rows[1] : kRowAny;
  if (!CPeripheral::RegisterStatus(&m_uVoltageRow, PORT_DIGITAL, 2, 8, "%s %s", TypeName(), "VOLTAGE (Volts)") ||
      !CPeripheral::RegisterStatus(&m_uFuseRow, PORT_DIGITAL, 2, 8, "%s %s", TypeName(), "FUSES")) {
    if (m_bPowerRegistered) {
      g_power_supply_table.SetPowerSupplyError(m_wPowerSupplyId, 3, "CONFIGURATION ERROR");
      g_power_supply_table.SetPowerSupplyVoltage(m_wPowerSupplyId, 0);
    }
    m_byState = PERIPHERAL_INIT_ERROR;
    return 0;
  }
  if (have_list) {
    aux_index_list rows;
    rows.Append(m_uVoltageRow);
    rows.Append(m_uFuseRow);
    CPeripheral::SetAuxIOIndexList(m_wConfigSlot, &rows);
  }
  m_byState = PERIPHERAL_READING;
  return 1;
}

void CLVDB::Poll() {
  if (m_byState < PERIPHERAL_READING) return;
  can_packet p;
  while (NextReply(&p)) {
    m_bySilence = 0;
    if (p.data[0] == CAN_REPLY_INPUTS)
      OnStatus(p);
    else if (p.data[0] == CAN_REPLY_IDENTIFY)
      m_wVersion = Word(p, 5);
    else
      monitor_printf_debug("CLVDB::Poll: reply %02X dropped\n", p.data[0]);
  }

  if (m_byQueryPhase == 1) {
    SendCommand(CAN_CMD_IDENTIFY);
    m_byQueryPhase = 2;
    return;
  }
  SendCommand(CAN_CMD_READ);
  if (++m_byQueryCount >= STATUS_QUERIES) {
    m_byQueryCount = 0;
    m_byQueryPhase = 1;
  }
  if (m_bySilence < SILENT_QUERIES) ++m_bySilence;
  if (m_bySilence == SILENT_QUERIES) {
    m_bySilence = SILENT_QUERIES + 1;
    Lost();
  }
}

void CLVDB::OnStatus(const can_packet& p) {
  const uint16_t raw = Word(p, 3);
  m_byTenths = static_cast<uint8_t>(raw % 10);
  m_wVoltage = static_cast<uint16_t>(raw / 10);
  m_wFuseBits = Word(p, 5);
  CPeripheral::SetStatusValue(m_uVoltageRow, m_wVoltage);
  CPeripheral::SetStatusValue(m_uFuseRow, m_wFuseBits);
  // Hundredths of a volt: past 655.35 V the u16 object would wrap, clamp.
  const double hundredths = m_wVoltage * 100.0 + m_byTenths * 10.0;
  if (m_bPowerRegistered)
    g_power_supply_table.SetPowerSupplyVoltage(m_wPowerSupplyId,
                                               hundredths > 65535.0 ? 65535 : static_cast<uint16_t>(hundredths));
  m_byReadingValid = 1;
  EvaluateFaults();
  m_byState = PERIPHERAL_VALID;
}

void CLVDB::Lost() {
  m_byState = PERIPHERAL_COMM_ERROR;
  CPeripheral::SetStatusValue(m_uVoltageRow, 0);
  CPeripheral::SetStatusValue(m_uFuseRow, 65535);
  m_wVoltage = 0;
  m_byTenths = 0;
  m_wFuseBits = 65535;
  if (!m_bPowerRegistered) return;
  g_power_supply_table.SetPowerSupplyError(m_wPowerSupplyId, 3, "COMM ERROR");
  g_power_supply_table.SetPowerSupplyVoltage(m_wPowerSupplyId, 0);
}

void CLVDB::EvaluateFaults() {
  if (!m_byReadingValid) return;
  const unsigned id = address();
  if (m_wFuseBits) m_byFaults |= FAULT_FUSE;
  if (m_wVoltage < MIN_VOLTS) {
    m_byFaults |= FAULT_POWER;
    ++m_iPowerFailCount;
    monitor_printf_debug("PowerFailCount = %d, Voltage level %d,  network ID = %d \n", m_iPowerFailCount, m_wVoltage,
                         id);
    if (m_iPowerFailCount >= FAIL_COUNT) {
      if (m_iPowerFailCount > MAX_FAIL_COUNT) m_iPowerFailCount = MAX_FAIL_COUNT;
      if (m_wVoltage == 0)
        monitor_printf_debug("PowerFailCount = %d, Voltage level %d,  network ID = %d \n", m_iPowerFailCount,
                             m_wVoltage, id);
      else
        monitor_printf_debug("PowerFailCount = %d, Voltage level %d,  network ID = %d, power supply index = %d \n",
                             m_iPowerFailCount, m_wVoltage, id, m_wPowerSupplyId);
      if (m_bPowerRegistered) g_power_supply_table.SetPowerSupplyError(m_wPowerSupplyId, 3, "POWER SUPPLY FAIL");
    }
    return;
  }
  if (m_wFuseBits) {
    if (m_bPowerRegistered) g_power_supply_table.SetPowerSupplyError(m_wPowerSupplyId, 3, "FUSE FAIL");
    return;
  }
  if (m_iPowerFailCount > 0) {
    --m_iPowerFailCount;
    monitor_printf_debug("Good value. PowerFailCount = %d, Voltage level %d,  network ID = %d, power supply index = %d \n",
                         m_iPowerFailCount, m_wVoltage, id, m_wPowerSupplyId);
    return;
  }
  m_iPowerFailCount = 0;
  if (m_bPowerRegistered) g_power_supply_table.ClearPowerSupplyError(m_wPowerSupplyId, "POWER SUPPLY PASS");
  monitor_printf_debug("Power Supply  Pass = %d, Voltage level %d,  network ID = %d, power supply index = %d \n",
                       m_iPowerFailCount, m_wVoltage, id, m_wPowerSupplyId);
}

