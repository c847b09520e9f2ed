#include "peripherals/devices/temperature.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "database/database.h"
#include "database/objects.h"
#include "display/modbus/diag_ksr7100.h"
#include "display/modbus/module_temp.h"
#include "frame/os/interrupts_masked.h"
#include "frame/trace/trace.h"
#include "mon_service.h"
#include "peripherals/pdb.h"
#include "peripherals/peripheral_event.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/peripheral_types.h"

namespace {

struct type_name {
  uint16_t type;
  const char* name;
};

const type_name kNames[] = {
    {10, "TEMPCONTROLLER"}, {11, "TEMPCABINET"}, {12, "TEMPAMBIENT"}, {13, "TEMPSIGN1"}, {14, "TEMPSIGN2"},
    {15, "TEMPSIGN3"},      {16, "TEMPSIGNMODS"}, {160, "TEMPLINE1"}, {161, "TEMPLINE2"}, {162, "TEMPLINE3"},
    {163, "TEMPLINE4"},     {164, "TEMPLINE5"},  {165, "TEMPLINE6"},
};

constexpr int8_t kHysteresis = 3;
constexpr uint32_t kMapBytes = 4;

int8_t s8(uint32_t v) { return static_cast<int8_t>(v & 0xFF); }

// A row bitmap string: row r is bit r mod 8 of byte r div 8.
void grow_bitmap(db_object map, uint32_t bytes) {
  if (!g_pDataBase) return;
  uint8_t b[kMapBytes] = {};
  uint32_t n = 0;
  const uint8_t* p = g_pDataBase->GetString(map.offset, map.width, g_pDataBase->mib_v, &n);
  std::memcpy(b, p, n < kMapBytes ? n : kMapBytes);
  if (bytes > kMapBytes) bytes = kMapBytes;
  if (n > bytes) bytes = n < kMapBytes ? n : kMapBytes;
  g_pDataBase->SetString(map.offset, map.width, b, bytes, g_pDataBase->mib_v, DB_NOTIFY);
}

void set_text(db_object o, const char* text) {
  if (g_pDataBase)
    g_pDataBase->SetString(o.offset, o.width, text, static_cast<uint32_t>(std::strlen(text)), g_pDataBase->mib_v,
                           DB_NOTIFY);
}

}  // namespace

CTemperature::CTemperature(uint16_t type_id, uint32_t selector, uint32_t address, uint32_t bus)
    : can_peripheral(CLASS_CODE, type_id, selector, address, bus) {}

CTemperature::~CTemperature() {
  if (can_core* core = hub()) core->unregister_device(this);
  if (!peripheral_tables_live()) return;
  // The events call back into this object: they go first.
  peripheral_event::Remove(m_dwIdentifyTimer);
  peripheral_event::Remove(m_dwServiceTimer);
  peripheral_event::Remove(m_dwSilenceTimer);
  m_dwIdentifyTimer = m_dwServiceTimer = m_dwSilenceTimer = 0;
  RemoveTableRow(&m_iTableRow);
  CPeripheral::UnregisterStatus(m_uStatusRow);
  m_uStatusRow = kRowAny;
}

const char* CTemperature::NameOfType(uint16_t type_id) {
  for (const type_name& t : kNames)
    if (t.type == type_id) return t.name;
  return nullptr;
}

uint16_t CTemperature::TypeOfName(const char* name) {
  if (!name) return 0;
  for (const type_name& t : kNames)
    if (std::strcmp(t.name, name) == 0) return t.type;
  return 0;
}

CPeripheral* CTemperature::Create(const pl_record& record) {
  CPeripheral::ParseParameters(record.parameters);
  const uint32_t address = s_dwParamValues[0];
  uint32_t selector = s_dwParamValues[1];
  const uint32_t bus = s_dwParamValues[2];
  if (record.type_id == TYPE_CABINET && selector == 0) selector = 4;
  CTemperature* t = new (std::nothrow) CTemperature(record.type_id, selector, address, bus);
  if (!t) return nullptr;
  t->m_wPollInterval = POLL_INTERVAL;
  t->m_wPollCountdown = static_cast<uint16_t>(std::rand() % POLL_INTERVAL);
  t->m_wConfigSlot = record.slot;
  t->m_byFromDatabase = 1;
  if (!t->Init()) {
    delete t;
    return nullptr;
  }
  if (g_pPeripheralTask) g_pPeripheralTask->SpreadSensorPolls(t, 0);
  t->SetEnabled(1);
  return t;
}

bool CTemperature::IsSignType() const {
  return (m_wTypeId >= 13 && m_wTypeId <= 15) || (m_wTypeId >= 160 && m_wTypeId <= 165);
}

int CTemperature::Init() {
  set_name(peripheral_name_of_type(m_wTypeId));
  RegisterRow();
  bool ok = true;
  if (m_wTypeId != TYPE_CONTROLLER && !RegisterCan()) {
    monitor_printf("unable to register can dev with core\n");
    ok = false;
  }
  if (ok && !register_status_row(this, &m_uStatusRow, PORT_ANALOG, 2, 8, Builtin())) {
    monitor_printf("failed to register %s in aux io table\n", TypeName());
    ok = false;
  }
  if (!ok) {
    CPeripheral::SetTemperatureBitmapBit(m_iTableRow);
    m_byState = PERIPHERAL_INIT_ERROR;
    return 0;
  }
  m_dwIdentifyTimer = peripheral_event::Add(this, 0, IDENTIFY_PERIOD, 1);
  if (m_busNumber & 2) m_dwServiceTimer = peripheral_event::Add(this, 1, SERVICE_PERIOD, 1);
  m_dwSilenceTimer = peripheral_event::Add(this, 2, SILENCE_PERIOD, 1);
  m_byState = PERIPHERAL_READING;
  return 1;
}

void CTemperature::RegisterRow() {
  const uint16_t t = m_wTypeId;
  if (t < 10) return;
  const int32_t s = static_cast<int32_t>(pdb::get_nv(nv::quorShutOffTemp));
  if (t <= 12) {
    RemoveTableRow(&m_iTableRow);
    AddTableRow(&m_iTableRow, TypeName(), 127, -128, 127, -128);
  } else if (IsSignType()) {
    RemoveTableRow(&m_iTableRow);
    if (s >= 86 && s <= 109)
      AddTableRow(&m_iTableRow, TypeName(), s8(s - 3), -40, s8(s), -128);
    else
      AddTableRow(&m_iTableRow, TypeName(), 82, -40, 85, -128);
  } else if (t == TYPE_SIGN_MODULES) {
    // The modules report their types once the display has polled them.
    if (!g_diag_ksr7100.HasNonGen4Modules()) return;
    AddTableRow(&m_iTableRow, TypeName(), s8(s - 3), -40, s8(s), -128);
  }
  m_byRegistered = 1;
}

int CTemperature::AddTableRow(int32_t* row, const char* description, int8_t hw, int8_t lw, int8_t hc, int8_t lc) {
  if (!row || !g_pDataBase) return 0;
  if (*row != -1) return 1;
  const uint32_t count = pdb::get_v(vol::dmsTempSensorNumRows);
  if (count >= static_cast<uint32_t>(kMaxRows)) return 0;
  // A removed row leaves a hole (the rows are not compacted): a new sensor
  // takes the first free row rather than one another sensor still holds.
  int32_t r = -1;
  for (int32_t i = 0; i < kMaxRows && r < 0; ++i)
    if (pdb::get_v(vol::tempStatus(static_cast<uint32_t>(i))) == 0) r = i;
  if (r < 0) return 0;
  *row = r;
  const uint32_t u = static_cast<uint32_t>(r);
  pdb::set_v(vol::dmsTempSensorNumRows, count + 1);
  const uint32_t bytes = (u + 8) / 8;
  grow_bitmap(vol::tempFailureMap, bytes);
  grow_bitmap(vol::tempWarningMap, bytes);
  grow_bitmap(vol::tempCriticalMap, bytes);
  CPeripheral::ClearTemperatureBitmapBit(r);
  set_text(vol::dmsTempSensorDescription(u), description ? description : "");
  pdb::set_v(vol::tempReading(u), 0);
  pdb::set_v(vol::tempStatus(u), 2);
  if (pdb::get_nv(nv::quorShutOffTemp)) {
    pdb::set_v(vol::dmsTempSensorHighWarningTemperature(u), static_cast<uint8_t>(hw));
    pdb::set_v(vol::dmsTempSensorLowWarningTemperature(u), static_cast<uint8_t>(lw));
    pdb::set_v(vol::dmsTempSensorHighCriticalTemperature(u), static_cast<uint8_t>(hc));
    pdb::set_v(vol::dmsTempSensorLowCriticalTemperature(u), static_cast<uint8_t>(lc));
  }
  StoreCriticalSummaries();
  return 1;
}

// The extremes over the rows in use, starting from the first of them: a
// table of sensors whose limits are all below 0 must not read 0.
void CTemperature::StoreCriticalSummaries() {
  int8_t high = 0, low = 0;
  bool any = false;
  for (uint32_t i = 0; i < static_cast<uint32_t>(kMaxRows); ++i) {
    if (pdb::get_v(vol::tempStatus(i)) == 0) continue;
    const int8_t hc = s8(pdb::get_v(vol::dmsTempSensorHighCriticalTemperature(i)));
    const int8_t lc = s8(pdb::get_v(vol::dmsTempSensorLowCriticalTemperature(i)));
    if (!any || hc > high) high = hc;
    if (!any || lc < low) low = lc;
    any = true;
  }
  pdb::set_v(vol::dmsTempSensorMaxHighCritical, static_cast<uint8_t>(high));
  pdb::set_v(vol::dmsTempSensorMinLowCritical, static_cast<uint8_t>(low));
}

void CTemperature::RemoveTableRow(int32_t* row) {
  if (!row || *row == -1 || !g_pDataBase) return;
  const int32_t r = *row;
  *row = -1;
  if (r < 0 || r >= kMaxRows) return;
  const uint32_t u = static_cast<uint32_t>(r);
  set_text(vol::dmsTempSensorDescription(u), "");
  pdb::set_v(vol::tempReading(u), 0);
  pdb::set_v(vol::tempStatus(u), 0);
  pdb::set_v(vol::dmsTempSensorHighWarningTemperature(u), 127);
  pdb::set_v(vol::dmsTempSensorHighCriticalTemperature(u), 127);
  pdb::set_v(vol::dmsTempSensorLowWarningTemperature(u), static_cast<uint8_t>(-128));
  pdb::set_v(vol::dmsTempSensorLowCriticalTemperature(u), static_cast<uint8_t>(-128));
  const uint32_t count = pdb::get_v(vol::dmsTempSensorNumRows);
  if (count) pdb::set_v(vol::dmsTempSensorNumRows, count - 1);
  StoreCriticalSummaries();
  // Clearing the failure bit writes status 2: the row is freed again after.
  CPeripheral::ClearTemperatureBitmapBit(r);
  CPeripheral::ClearTemperatureFlagBitA(r);
  CPeripheral::ClearTemperatureFlagBitB(r);
  pdb::set_v(vol::tempStatus(u), 0);
}

void CTemperature::ApplyShutOffTemp() {
  if (m_iTableRow < 0) return;
  const uint32_t u = static_cast<uint32_t>(m_iTableRow);
  const int32_t s = static_cast<int32_t>(pdb::get_nv(nv::quorShutOffTemp));
  pdb::set_v(vol::dmsTempSensorLowWarningTemperature(u), static_cast<uint8_t>(-40));
  pdb::set_v(vol::dmsTempSensorLowCriticalTemperature(u), static_cast<uint8_t>(-128));
  const int32_t high = s ? s : disp::module_temp_warning();
  pdb::set_v(vol::dmsTempSensorHighWarningTemperature(u), static_cast<uint8_t>(s8(high - 3)));
  pdb::set_v(vol::dmsTempSensorHighCriticalTemperature(u), static_cast<uint8_t>(s8(s ? s : high - 3)));
  StoreCriticalSummaries();
  if (!s) {
    m_byHighWarning = m_byLowWarning = 0;
    CPeripheral::ClearTemperatureFlagBitA(m_iTableRow);
  }
}

void CTemperature::InjectLocalReading() {
  can_packet p;
  p.length = kFrameLength;
  p.data[0] = CAN_REPLY_INPUTS;
  if (m_wTypeId == TYPE_CONTROLLER) {
    p.id = kControllerReplyId;
    p.data[3] = static_cast<uint8_t>(mon_service57());
  } else if (m_wTypeId == TYPE_SIGN_MODULES) {
    int8_t average = 0, minimum = 0, maximum = 0;
    if (g_diag_ksr7100.GetModuleTemperatureStats(average, minimum, maximum) != 6) return;
    p.id = kModulesReplyId;
    p.data[3] = static_cast<uint8_t>(maximum);
  } else {
    return;
  }
  interrupts_masked masked;
  m_queue.push(p);
}

void CTemperature::Poll() {
  if (m_byState < PERIPHERAL_READING) return;
  if (!m_byRegistered) RegisterRow();
  InjectLocalReading();
  can_packet p;
  while (read(&p)) {
    // The built-ins' own frames carry their fixed identifiers.
    const uint32_t expected = m_wTypeId == TYPE_CONTROLLER    ? kControllerReplyId
                              : m_wTypeId == TYPE_SIGN_MODULES ? kModulesReplyId
                                                               : address() + CAN_REPLY_OFFSET;
    if (p.id != expected || p.length != kFrameLength) {
      monitor_printf_debug("CTemperature::Poll: frame %X of %u bytes dropped\n", static_cast<unsigned>(p.id),
                           static_cast<unsigned>(p.length));
      continue;
    }
    peripheral_event::Restart(m_dwServiceTimer);
    peripheral_event::Restart(m_dwSilenceTimer);
    if (p.data[0] == CAN_REPLY_INPUTS)
      TakeReading(static_cast<int8_t>(p.data[3]));
    else if (p.data[0] == CAN_REPLY_IDENTIFY)
      m_wVersion = Word(p, 5);
  }
  if (Builtin()) return;
  if (m_byIdentifyPending) {
    m_byIdentifyPending = 0;
    SendCommand(CAN_CMD_IDENTIFY);
  } else {
    SendCommand(CAN_CMD_READ);
  }
}

void CTemperature::TakeReading(int8_t reading) {
  m_iReading = reading;
  m_byState = PERIPHERAL_VALID;
  // Back from a failure: clearing the bit writes reading 0, so it goes
  // before the reading.
  if (m_iTableRow >= 0 && pdb::get_v(vol::tempStatus(static_cast<uint32_t>(m_iTableRow))) != 2)
    CPeripheral::ClearTemperatureBitmapBit(m_iTableRow);
  if (m_iTableRow >= 0) pdb::set_v(vol::tempReading(static_cast<uint32_t>(m_iTableRow)), static_cast<uint8_t>(reading));
  if (pdb::get_nv(nv::quorShutOffTemp)) CheckLimits(reading);
  CPeripheral::SetStatusValue(m_uStatusRow, static_cast<uint32_t>(static_cast<int32_t>(reading)));
}

void CTemperature::CheckLimits(int8_t r) {
  if (m_iTableRow < 0) return;
  const uint32_t u = static_cast<uint32_t>(m_iTableRow);
  const int32_t hw = s8(pdb::get_v(vol::dmsTempSensorHighWarningTemperature(u)));
  const int32_t lw = s8(pdb::get_v(vol::dmsTempSensorLowWarningTemperature(u)));
  const int32_t hc = s8(pdb::get_v(vol::dmsTempSensorHighCriticalTemperature(u)));
  const int32_t lc = s8(pdb::get_v(vol::dmsTempSensorLowCriticalTemperature(u)));
  struct check {
    uint8_t* active;
    bool on;
    bool off;
    int (*set)(int32_t);
    int (*clear)(int32_t);
  };
  const check checks[] = {
      {&m_byHighWarning, r > hw, r < hw - kHysteresis, SetTemperatureFlagBitA, ClearTemperatureFlagBitA},
      {&m_byLowWarning, r < lw, r > lw + kHysteresis, SetTemperatureFlagBitA, ClearTemperatureFlagBitA},
      {&m_byHighCritical, r > hc, r < hc - kHysteresis, SetTemperatureFlagBitB, ClearTemperatureFlagBitB},
      {&m_byLowCritical, r < lc, r > lc + kHysteresis, SetTemperatureFlagBitB, ClearTemperatureFlagBitB},
  };
  for (const check& c : checks) {
    if (!*c.active && c.on) {
      *c.active = 1;
      c.set(m_iTableRow);
    } else if (*c.active && c.off) {
      *c.active = 0;
      c.clear(m_iTableRow);
    }
  }
}

void CTemperature::OnTimer(uint32_t argument) {
  switch (argument) {
    case 0:
      m_byIdentifyPending = 1;
      break;
    case 1:
      service();
      break;
    case 2:
      if (!m_byEnabled) break;
      m_iReading = 0;
      CPeripheral::SetStatusValue(m_uStatusRow, 0);
      CPeripheral::SetTemperatureBitmapBit(m_iTableRow);
      m_byHighWarning = m_byLowWarning = m_byHighCritical = m_byLowCritical = 0;
      CPeripheral::ClearTemperatureFlagBitA(m_iTableRow);
      CPeripheral::ClearTemperatureFlagBitB(m_iTableRow);
      m_byState = PERIPHERAL_COMM_ERROR;
      break;
    default:
      break;
  }
}

void CTemperature::set_bus(can_bus* bus) { Attach(bus); }

void CTemperature::Attach(can_bus* bus) {
  can_device::set_bus(bus);
  if (bus) SendCommand(CAN_CMD_IDENTIFY);
}
