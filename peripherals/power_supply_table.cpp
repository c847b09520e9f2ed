#include "peripherals/power_supply_table.h"

#include <cstring>

#include "database/database.h"
#include "database/objects.h"
#include "frame/os/os.h"
#include "frame/peripheral/peripheral_trap.h"
#include "frame/trace/trace.h"
#include "peripherals/pdb.h"

CPowerSupplyTable g_power_supply_table;

// A controller started again in the same process finds a fresh database
// and kernel: the rows and the mutex of the last run are gone.
void power_supply_table_init() {
  g_power_supply_table.Reset();
  g_power_supply_table.Init();
}

namespace {

const char* const kPass = "POWER SUPPLY PASS";
const char* const kFail = "POWER SUPPLY FAIL";
const uint32_t kShortErrorStatusOid[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9, 7, 1, 0};

void set_text(db_object o, const char* text) {
  if (!g_pDataBase) return;
  const uint32_t n = text ? static_cast<uint32_t>(std::strlen(text)) : 0;
  g_pDataBase->SetString(o.offset, 4, n ? text : nullptr, n, g_pDataBase->mib_v, DB_NOTIFY);
}

// Whether the stored text of o begins with prefix.
bool text_begins(db_object o, const char* prefix) {
  if (!g_pDataBase) return false;
  uint32_t n = 0;
  const uint8_t* p = g_pDataBase->GetString(o.offset, 4, g_pDataBase->mib_v, &n);
  const uint32_t k = static_cast<uint32_t>(std::strlen(prefix));
  return p && n >= k && std::memcmp(p, prefix, k) == 0;
}

bool begins(const char* text, const char* prefix) {
  return text && std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

}  // namespace

uint8_t power_type_summary_bit(uint8_t power_type) {
  switch (power_type) {
    case 1:
    case 6:
    case 7:
      return 0x01;
    case 2:
      return 0x20;
    case 3:
    case 4:
      return 0x10;
    case 5:
      return 0x02;
    default:
      return 0;
  }
}

void power_send_trap(uint32_t specific, const uint32_t* extra_oid, uint32_t extra_oid_length, int32_t extra_value) {
  peripheral_trap_origin origin;
  peripheral_trap_binding bindings[3] = {};
  uint32_t count = peripheral_trap_origin_bindings(bindings, &origin);
  if (extra_oid && extra_oid_length && extra_oid_length <= 40) {
    peripheral_trap_bind(&bindings[2], extra_oid, extra_oid_length, 1 /* integer, u32 in host order */, &extra_value,
                         sizeof extra_value);
    count = 3;
  }
  peripheral_send_trap(TRAP_ENTERPRISE_SPECIFIC, specific, count, bindings);
}

// The table lives as long as the program; the kernel that owns its mutex
// may be gone by then.
CPowerSupplyTable::~CPowerSupplyTable() = default;

void CPowerSupplyTable::Init() {
  if (!m_bMutexCreated) {
    if (os_mutex_create(&m_Mutex, "Power Supply Table Mutex", 1) == OS_SUCCESS)
      m_bMutexCreated = true;
    else
      monitor_printf("mutex_create failed CPowerSupplyTable\n");
  }
  m_byTrapSent = 0;
}

void CPowerSupplyTable::Reset() {
  // The kernel that owned the mutex may be gone: forget it, never delete it.
  m_bMutexCreated = false;
  m_Mutex = TX_MUTEX{};
  m_dwCount = 0;
  m_wIdCounter = 0;
  m_byTrapSent = 0;
}

bool CPowerSupplyTable::Lock(const char* who) {
  if (!m_bMutexCreated || os_mutex_get(&m_Mutex, OS_WAIT_FOREVER) != OS_SUCCESS) {
    monitor_printf("CPowerSupplyTable::%s: tx_mutex_get failed\n", who);
    return false;
  }
  return true;
}

void CPowerSupplyTable::Unlock() { os_mutex_put(&m_Mutex); }

int32_t CPowerSupplyTable::RowOf(uint16_t id) const {
  if (id == 0) return -1;
  for (uint32_t r = 0; r < m_dwCount; ++r)
    if (m_awIds[r] == id) return static_cast<int32_t>(r);
  return -1;
}

int CPowerSupplyTable::RegisterPowerSupply(uint16_t* id, const char* description, const char* status_text,
                                           uint8_t power_type) {
  if (!Lock("RegisterPowerSupply")) return 0;
  if (m_dwCount >= kMaxRows) {
    Unlock();
    return 0;
  }
  if (++m_wIdCounter == 0) m_wIdCounter = 1;
  const uint32_t row = m_dwCount;
  m_awIds[row] = m_wIdCounter;
  if (id) *id = m_wIdCounter;
  pdb::set_v(vol::dmsPowerVoltage(row), 0);
  set_text(vol::dmsPowerDescription(row), description);
  set_text(vol::dmsPowerMfrStatus(row), status_text);
  pdb::set_v(vol::dmsPowerStatus(row), kStatusOk);
  pdb::set_v(vol::dmsPowerType(row), power_type);
  m_dwCount = row + 1;
  pdb::set_v(vol::dmsPowerNumRows, m_dwCount);
  Recompute();
  Unlock();
  return 1;
}

void CPowerSupplyTable::UnRegisterPowerSupply(uint16_t* id) {
  if (!id) return;
  if (!Lock("UnRegisterPowerSupply")) return;
  const int32_t found = RowOf(*id);
  if (found >= 0) {
    for (uint32_t r = static_cast<uint32_t>(found) + 1; r < m_dwCount; ++r) {
      uint32_t n = 0;
      if (g_pDataBase) {
        const uint8_t* p = g_pDataBase->GetString(vol::dmsPowerDescription(r).offset, 4, g_pDataBase->mib_v, &n);
        g_pDataBase->SetString(vol::dmsPowerDescription(r - 1).offset, 4, n ? p : nullptr, n, g_pDataBase->mib_v,
                               DB_NOTIFY);
        p = g_pDataBase->GetString(vol::dmsPowerMfrStatus(r).offset, 4, g_pDataBase->mib_v, &n);
        g_pDataBase->SetString(vol::dmsPowerMfrStatus(r - 1).offset, 4, n ? p : nullptr, n, g_pDataBase->mib_v,
                               DB_NOTIFY);
      }
      pdb::set_v(vol::dmsPowerVoltage(r - 1), pdb::get_v(vol::dmsPowerVoltage(r)));
      pdb::set_v(vol::dmsPowerStatus(r - 1), pdb::get_v(vol::dmsPowerStatus(r)));
      pdb::set_v(vol::dmsPowerType(r - 1), pdb::get_v(vol::dmsPowerType(r)));
      m_awIds[r - 1] = m_awIds[r];
    }
    const uint32_t last = m_dwCount - 1;
    set_text(vol::dmsPowerDescription(last), nullptr);
    set_text(vol::dmsPowerMfrStatus(last), nullptr);
    pdb::set_v(vol::dmsPowerVoltage(last), 0);
    pdb::set_v(vol::dmsPowerStatus(last), kStatusOk);
    pdb::set_v(vol::dmsPowerType(last), 0);
    m_awIds[last] = 0;
    m_dwCount = last;
    pdb::set_v(vol::dmsPowerNumRows, m_dwCount);
    Recompute();
  }
  Unlock();
}

void CPowerSupplyTable::SetErrorLocked(int32_t row, uint8_t status, const char* text) {
  const uint32_t r = static_cast<uint32_t>(row);
  const uint32_t before = pdb::get_v(vol::shortErrorStatus);
  set_text(vol::dmsPowerMfrStatus(r), text);
  pdb::set_v(vol::dmsPowerStatus(r), status);
  // Lost contact with a module's supply is reported by the module itself.
  const bool module_comm = text_begins(vol::dmsPowerDescription(r), "MODULE") && begins(text, "COMM ERROR");
  if (!module_comm && !m_byTrapSent) {
    m_byTrapSent = 1;
    power_send_trap(kTrapPowerError, kShortErrorStatusOid, sizeof kShortErrorStatusOid / sizeof kShortErrorStatusOid[0],
                    static_cast<int32_t>(before));
  }
  Recompute();
}

void CPowerSupplyTable::ClearErrorLocked(int32_t row, const char* text) {
  const uint32_t r = static_cast<uint32_t>(row);
  pdb::set_v(vol::dmsPowerStatus(r), kStatusOk);
  set_text(vol::dmsPowerMfrStatus(r), text);
  uint32_t failing = 0, module_comm = 0;
  for (uint32_t i = 0; i < m_dwCount; ++i) {
    if (pdb::get_v(vol::dmsPowerStatus(i)) == kStatusOk) continue;
    ++failing;
    if (text_begins(vol::dmsPowerDescription(i), "MODULE") && text_begins(vol::dmsPowerMfrStatus(i), "COMM ERROR"))
      ++module_comm;
  }
  if (failing == module_comm) m_byTrapSent = 0;
  Recompute();
}

void CPowerSupplyTable::SetPowerSupplyError(uint16_t id, uint8_t status, const char* text) {
  if (!Lock("SetPowerSupplyError")) return;
  const int32_t row = RowOf(id);
  if (row >= 0) SetErrorLocked(row, status, text);
  Unlock();
}

void CPowerSupplyTable::ClearPowerSupplyError(uint16_t id, const char* text) {
  if (!Lock("ClearPowerSupplyError")) return;
  const int32_t row = RowOf(id);
  if (row >= 0) ClearErrorLocked(row, text);
  Unlock();
}

void CPowerSupplyTable::SetPowerSupplyVoltage(uint16_t id, uint16_t voltage) {
  if (!Lock("SetPowerSupplyVoltage")) return;
  const int32_t row = RowOf(id);
  if (row >= 0) pdb::set_v(vol::dmsPowerVoltage(static_cast<uint32_t>(row)), voltage);
  Unlock();
}

void CPowerSupplyTable::SetACVoltage(uint16_t voltage) {
  if (!Lock("SetACVoltage")) return;
  for (uint32_t r = 0; r < m_dwCount; ++r) {
    if (pdb::get_v(vol::dmsPowerType(r)) != TYPE_AC_LINE) continue;
    pdb::set_v(vol::dmsPowerVoltage(r), voltage);
    if (voltage > 0)
      ClearErrorLocked(static_cast<int32_t>(r), kPass);
    else
      SetErrorLocked(static_cast<int32_t>(r), 3, kFail);
    break;
  }
  Unlock();
}

// The failure map, the summary and bit 2 of shortErrorStatus from the rows'
// statuses: a failing row is one whose status is not 2.
void CPowerSupplyTable::Recompute() {
  uint8_t map[(kMaxRows + 7) / 8] = {};
  uint8_t summary = 0;
  bool any = false;
  for (uint32_t r = 0; r < m_dwCount; ++r) {
    if (pdb::get_v(vol::dmsPowerStatus(r)) == kStatusOk) continue;
    map[r >> 3] |= static_cast<uint8_t>(1u << (r & 7));
    summary |= power_type_summary_bit(static_cast<uint8_t>(pdb::get_v(vol::dmsPowerType(r))));
    any = true;
  }
  WriteMapAndSummary(map, summary, any);
}

void CPowerSupplyTable::WriteMapAndSummary(const uint8_t* map, uint8_t summary_bits, bool any) {
  if (!g_pDataBase) return;
  const uint32_t bytes = (m_dwCount + 7) / 8;
  g_pDataBase->SetString(vol::dmsPowerFailureStatusMap.offset, 4, bytes ? map : nullptr, bytes, g_pDataBase->mib_v,
                         DB_NOTIFY);
  const uint8_t summary[2] = {0, summary_bits};
  g_pDataBase->SetString(vol::powerSupplySummary.offset, 4, summary, sizeof summary, g_pDataBase->mib_v, DB_NOTIFY);
  const uint32_t status = pdb::get_v(vol::shortErrorStatus);
  const uint32_t wanted = any ? (status | kPowerErrorBit) : (status & ~static_cast<uint32_t>(kPowerErrorBit));
  if (wanted != status) pdb::set_v(vol::shortErrorStatus, wanted);
}
