#include "peripherals/devices/ups.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "database/database.h"
#include "database/objects.h"
#include "frame/bus/post_office.h"
#include "frame/bus/subscriber.h"
#include "frame/serial/serial_driver.h"
#include "frame/trace/trace.h"
#include "peripherals/devices/can_peripheral.h"
#include "peripherals/pdb.h"
#include "peripherals/peripheral_hooks.h"
#include "peripherals/power_supply_table.h"

namespace {

struct ups_name {
  uint16_t type;
  const char* name;
};
const ups_name kNames[] = {
    {20, "UPS POWERCOM"},         {21, "UPS MINUTEMAN"}, {22, "UPS CLARY"},
    {23, "UPS ALPHA FXM SERIES"}, {24, "UPS ALPHA 3500"}, {25, "UPS TRIPP LITE"},
};

constexpr uint8_t kProtocolDefault = 2;
constexpr uint32_t kSpeedDefault = 9600;
constexpr uint8_t kPortReinit = 4;
constexpr uint8_t kPowerTypeUps = 5;
constexpr uint16_t kUnitVolts = 12000;
// Bytes taken in one poll: far more than a UPS sends between polls; a port
// that never runs dry cannot hold the task.
constexpr uint32_t kBytesPerPoll = 4096;
const char* const kPass = "POWER SUPPLY PASS";

bool anyone_takes(uint32_t id) {
  for (uint32_t i = 0; i < post_office::SLOTS; ++i) {
    const subscriber* s = g_post_office.Slot(i);
    if (s && s->IsSubscribed(id)) return true;
  }
  return false;
}

}  // namespace

CUninterruptiblePowerSupply::CUninterruptiblePowerSupply(uint16_t type_id) : CPeripheral(CLASS_CODE, type_id) {}

CUninterruptiblePowerSupply::~CUninterruptiblePowerSupply() {
  if (m_pDriver) {
    peripheral_release_driver(AUX_PORT);
    m_pDriver = nullptr;
  }
  // Dropped at a second start: the database and the power-supply table are
  // the old kernel's.
  if (!peripheral_tables_live()) return;
  pdb::set_nv(nv::quorCommConfigProtocol(AUX_INDEX), kProtocolDefault);
  pdb::set_nv(nv::quorCommConfigFlowControl(AUX_INDEX), 0);
  pdb::set_nv(nv::rs232PortInSpeed(AUX_INDEX), kSpeedDefault);
  pdb::set_nv(nv::quorCommPortReinit, kPortReinit);
  g_power_supply_table.UnRegisterPowerSupply(&m_wPsId);
}

const char* CUninterruptiblePowerSupply::NameOfType(uint16_t type_id) {
  for (const ups_name& n : kNames)
    if (n.type == type_id) return n.name;
  return nullptr;
}

uint16_t CUninterruptiblePowerSupply::TypeOfName(const char* name) {
  if (!name) return 0;
  for (const ups_name& n : kNames)
    if (std::strcmp(n.name, name) == 0) return n.type;
  return 0;
}

CPeripheral* CUninterruptiblePowerSupply::Create(const pl_record& record) {
  CPeripheral::ParseParameters(record.parameters);
  CUninterruptiblePowerSupply* ups = nullptr;
  switch (record.type_id) {
    case TYPE_POWERCOM:
      ups = new (std::nothrow) powercom_ups(record.type_id);
      break;
    case TYPE_MINUTEMAN:
      ups = new (std::nothrow) minuteman_ups(record.type_id);
      break;
    case TYPE_CLARY:
      ups = new (std::nothrow) clary_ups(record.type_id);
      break;
    case TYPE_ALPHA_FXM:
    case TYPE_ALPHA_3500:
      ups = new (std::nothrow) alpha_ups(record.type_id);
      break;
    case TYPE_TRIPP:
      ups = new (std::nothrow) tripp_ups(record.type_id);
      break;
    default:
      return nullptr;
  }
  if (!ups) return nullptr;
  ups->m_wPollInterval = 10;
  ups->m_wPollCountdown = static_cast<uint16_t>(std::rand() % 10);
  ups->m_wConfigSlot = record.slot;
  ups->m_byFromDatabase = 1;
  if (!ups->Open()) {
    delete ups;
    return nullptr;
  }
  ups->SetEnabled(1);
  return ups;
}

void CUninterruptiblePowerSupply::WritePort(uint8_t protocol, uint8_t flow, uint32_t speed, bool speed_before_flow) {
  pdb::set_nv(nv::quorCommConfigProtocol(AUX_INDEX), protocol);
  if (speed_before_flow) {
    pdb::set_nv(nv::rs232PortInSpeed(AUX_INDEX), speed);
    pdb::set_nv(nv::quorCommConfigFlowControl(AUX_INDEX), flow);
  } else {
    pdb::set_nv(nv::quorCommConfigFlowControl(AUX_INDEX), flow);
    if (speed) pdb::set_nv(nv::rs232PortInSpeed(AUX_INDEX), speed);
  }
}

int CUninterruptiblePowerSupply::Open() {
  const char* name = NameOfType(m_wTypeId);
  if (!g_power_supply_table.RegisterPowerSupply(&m_wPsId, name, "PASS", kPowerTypeUps))
    monitor_printf("warning unable to register %s in ps table\n", name ? name : "");

  letter_s query(MSG_COMM_RUNNING_QUERY), answer;
  const bool comm_running = g_post_office.SendAndWait(&query, &answer) == 1 && answer.Id() == MSG_COMM_RUNNING_REPLY &&
                            answer.kind == LETTER_KIND_NONE && answer.payload[0] == 1;
  if (comm_running && anyone_takes(MSG_PORT_CLAIM)) {
    letter_s claim(MSG_PORT_CLAIM), granted;
    // A time-out leaves `granted` as constructed: no claim reply.
    g_post_office.SendAndWait(&claim, &granted);
    if (granted.Id() != MSG_PORT_CLAIM_REPLY) {
      m_byState = PERIPHERAL_INIT_ERROR;
      return 0;
    }
  }
  m_pDriver = peripheral_attain_driver(AUX_PORT);
  if (!m_pDriver) {
    // Another owner holds the AUX port: the UPS can never answer, so say so
    // on its row rather than wait in READING for replies that cannot come.
    monitor_printf("UPS %s: AUX port in use\n", name ? name : "");
    g_power_supply_table.SetPowerSupplyError(m_wPsId, 3, "CONFIGURATION ERROR");
    m_byState = PERIPHERAL_INIT_ERROR;
    return 1;
  }
  m_byState = PERIPHERAL_READING;
  FlushInput();
  return 1;
}

void CUninterruptiblePowerSupply::FlushInput() {
  if (!m_pDriver) return;
  uint32_t byte = 0;
  for (uint32_t n = 0; n < kBytesPerPoll && m_pDriver->ReadByte(&byte); ++n) {
  }
}

int CUninterruptiblePowerSupply::ReadReplies() {
  if (!m_pDriver) return 0;
  int complete = 0;
  uint32_t byte = 0;
  for (uint32_t n = 0; n < kBytesPerPoll && m_pDriver->ReadByte(&byte); ++n)
    if (ParseReply(static_cast<uint8_t>(byte)) == 1) complete = 1;
  return complete;
}

void CUninterruptiblePowerSupply::Put(uint8_t byte) {
  if (m_pDriver) m_pDriver->PutTxByte(byte);
}

void CUninterruptiblePowerSupply::PutString(const char* text) {
  if (!m_pDriver || !text) return;
  for (; *text; ++text)
    if (!m_pDriver->PutTxByte(static_cast<uint8_t>(*text))) return;
}

void CUninterruptiblePowerSupply::PutBytes(const uint8_t* bytes, uint32_t n) {
  if (!m_pDriver) return;
  for (uint32_t i = 0; i < n; ++i)
    if (!m_pDriver->PutTxByte(bytes[i])) return;
}

void CUninterruptiblePowerSupply::Poll() {
  if (!m_pDriver) return;
  if (ReadReplies() == 1) {
    m_bySilence = 0;
    m_byState = PERIPHERAL_VALID;
    EvaluateStatus();
  }
  SendQuery(m_byPhase, m_wTypeId);
  m_byPhase = m_byPhase == 2 ? 3 : m_byPhase == 3 ? 1 : 2;
  if (m_bySilence < SILENCE_LIMIT) {
    ++m_bySilence;
  } else if (m_bySilence == SILENCE_LIMIT) {
    monitor_printf_debug("Warning: UPS Comm Timeout %d\n", m_wTypeId);
    m_bySilence = SILENCE_LIMIT + 1;
    m_byState = PERIPHERAL_COMM_ERROR;
  }
}

void CUninterruptiblePowerSupply::EvaluateStatus() {
  CPowerSupplyTable& table = g_power_supply_table;
  if (m_dwStatus & UPS_ON_BATTERY) {
    if (pdb::get_v(vol::powerSource) != SOURCE_BATTERY) {
      monitor_printf_debug("Warning: UPS running on Battery\n");
      m_byReported |= UPS_REPORTED_BATTERY;
      pdb::set_v(vol::powerSource, SOURCE_BATTERY);
      pdb::set_v(vol::lineVolts, 0);
      table.SetACVoltage(0);
      table.SetPowerSupplyError(m_wPsId, 3, "POWER SUPPLY FAIL");
      table.SetPowerSupplyVoltage(m_wPsId, 0);
      g_post_office.Publish(MSG_UPS_ON_BATTERY);
      power_send_trap(TRAP_ON_BATTERY);
    }
  } else if (pdb::get_v(vol::powerSource) != SOURCE_AC) {
    monitor_printf_debug("UPS is running off AC Power\n");
    pdb::set_v(vol::powerSource, SOURCE_AC);
    pdb::set_v(vol::lineVolts, 120);
    table.SetACVoltage(kUnitVolts);
    table.ClearPowerSupplyError(m_wPsId, kPass);
    table.SetPowerSupplyVoltage(m_wPsId, kUnitVolts);
    m_byReported &= static_cast<uint8_t>(~UPS_REPORTED_BATTERY);
    g_post_office.Publish(MSG_UPS_ON_AC);
    power_send_trap(TRAP_ON_AC);
  }

  if (m_dwStatus & UPS_BATTERY_LOW) {
    monitor_printf_debug("Warning: UPS Battery Low\n");
    if (!(m_byReported & UPS_REPORTED_LOW)) {
      if (pdb::get_v(vol::powerSource) == SOURCE_BATTERY) power_send_trap(TRAP_BATTERY_LOW);
      table.SetPowerSupplyError(m_wPsId, 4, "LOW BATTERY");
      m_byReported |= UPS_REPORTED_LOW;
    }
  } else if (m_byReported & UPS_REPORTED_LOW) {
    m_byReported &= static_cast<uint8_t>(~UPS_REPORTED_LOW);
    table.ClearPowerSupplyError(m_wPsId, kPass);
  }

  if (m_dwStatus & UPS_BOOST_TRIM) monitor_printf_debug("Warning: UPS AC Boost or Trim\n");

  if (m_dwStatus & UPS_OVERLOAD) {
    if (!(m_byReported & UPS_REPORTED_OVERLOAD)) {
      monitor_printf_debug("Warning: UPS Overloaded\n");
      m_byReported |= UPS_REPORTED_OVERLOAD;
      table.SetPowerSupplyError(m_wPsId, 5, "OVERLOAD");
      power_send_trap(TRAP_OVERLOAD);
    }
  } else if (m_byReported & UPS_REPORTED_OVERLOAD) {
    m_byReported &= static_cast<uint8_t>(~UPS_REPORTED_OVERLOAD);
    table.ClearPowerSupplyError(m_wPsId, kPass);
    power_send_trap(TRAP_OVERLOAD_CLEARED);
  }

  if (m_dwStatus & UPS_BAD_BATTERY) {
    if (!(m_byReported & UPS_REPORTED_BAD)) {
      monitor_printf_debug("Warning: UPS Battery Bad\n");
      m_byReported |= UPS_REPORTED_BAD;
      table.SetPowerSupplyError(m_wPsId, 4, "BAD BATTERY");
    }
  } else if (m_byReported & UPS_REPORTED_BAD) {
    m_byReported &= static_cast<uint8_t>(~UPS_REPORTED_BAD);
    table.ClearPowerSupplyError(m_wPsId, kPass);
  }

  if (m_dwStatus & UPS_BREAKER_OPEN) {
    monitor_printf_debug("Warning: UPS Battery Breaker Open\n");
    table.SetPowerSupplyError(m_wPsId, 4, "BATTERY BREAKER");
  }
  if (m_dwStatus & UPS_TEST_CYCLE) monitor_printf_debug("Warning: UPS in test Cycle\n");

  if (m_dwStatus & UPS_BATTERY_VOLTS_READY) {
    pdb::set_v(vol::signVolts, static_cast<uint16_t>(m_dwBatteryVoltage));
    m_dwStatus &= ~static_cast<uint32_t>(UPS_BATTERY_VOLTS_READY);
    table.SetPowerSupplyVoltage(m_wPsId, static_cast<uint16_t>(m_dwBatteryVoltage));
  }
  if (m_dwStatus & UPS_LINE_VOLTS_READY) {
    pdb::set_v(vol::lineVolts, m_byLineVoltage);
    m_dwStatus &= ~static_cast<uint32_t>(UPS_LINE_VOLTS_READY);
    table.SetPowerSupplyVoltage(m_wPsId, static_cast<uint16_t>(m_dwBatteryVoltage));
  }
}
