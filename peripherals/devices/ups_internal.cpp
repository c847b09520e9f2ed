#include "peripherals/devices/ups_internal.h"

#include <cstring>
#include <new>

#include "board_io.h"
#include "database/database.h"
#include "database/objects.h"
#include "display/driver/q5_display_driver.h"
#include "frame/bus/post_office.h"
#include "frame/trace/trace.h"
#include "peripherals/pdb.h"
#include "peripherals/power_supply_table.h"

volatile uint8_t g_file_save_pending = 0;

namespace {
const char* const kName = "UPS INTERNAL1";
constexpr uint8_t kClockStoppedLimit = 20;
constexpr uint32_t kSaveWaitLimit = 120;
constexpr uint32_t kBrownoutSeconds = 10;
constexpr uint32_t kBatteryLimitSeconds = 1800;
constexpr uint32_t kTrapPorts = 5;
constexpr uint8_t kResetShutdown = 3;
constexpr uint8_t kResetRequested = 2;

uint32_t (*s_epld_ready)() = nullptr;
bool (*s_trap_buffer_empty)() = nullptr;
}  // namespace

void CUPS_Internal::SetEpldReadyQuery(uint32_t (*query)()) { s_epld_ready = query; }
void CUPS_Internal::SetTrapBufferEmptyQuery(bool (*query)()) { s_trap_buffer_empty = query; }

CUPS_Internal::CUPS_Internal() : CPeripheral(CLASS_CODE, TYPE_ID) {}

const char* CUPS_Internal::NameOfType(uint16_t) { return kName; }

uint16_t CUPS_Internal::TypeOfName(const char* name) {
  return name && std::strcmp(name, kName) == 0 ? TYPE_ID : 0;
}

CPeripheral* CUPS_Internal::Create(const pl_record& record) {
  CUPS_Internal* ups = new (std::nothrow) CUPS_Internal();
  if (!ups) return nullptr;
  ups->m_wPollInterval = 1;
  ups->m_wPollCountdown = 0;
  ups->m_wConfigSlot = record.slot;
  ups->m_byFromDatabase = 0;
  ups->Init();
  ups->SetEnabled(1);
  return ups;
}

int CUPS_Internal::Init() {
  m_byClockStopped = 0;
  return 1;
}

bool CUPS_Internal::TrapBufferEmpty() { return s_trap_buffer_empty ? s_trap_buffer_empty() : true; }

void CUPS_Internal::Report(uint16_t code) {
  letter_s report(MSG_PERIPHERAL_REPORT);
  report.kind = LETTER_KIND_PAIRS;
  report.payload[0] = static_cast<uint32_t>(PANEL_TYPE) << 16 | code;
  g_post_office.Deliver(&report);
}

bool CUPS_Internal::ShutdownRequested() {
  const uint32_t ready = s_epld_ready ? s_epld_ready() : CQ5DisplayDriver::EpldReadyQuery();
  if (!ready) return false;
  return (reg_read8(REG_CONTROL) & BIT_SHUTDOWN_REQUEST) != 0;
}

bool CUPS_Internal::PrimaryPowerLost() {
  const uint32_t ready = s_epld_ready ? s_epld_ready() : CQ5DisplayDriver::EpldReadyQuery();
  if (!ready) return false;
  const uint8_t power = reg_read8(REG_POWER);
  if (power & BIT_BATTERY_LOW) {
    if (m_byBatteryLowReported != 1) {
      Report(REPORT_BATTERY_LOW);
      m_byBatteryLowReported = 1;
    }
  } else if (m_byBatteryLowReported != 0) {
    Report(REPORT_BATTERY_OK_OR_LOST);
    m_byBatteryLowReported = 0;
  }
  return (power & BIT_POWER_ABSENT) && !ShutdownRequested();
}

void CUPS_Internal::Shutdown() {
  pdb::set_nv(nv::dmsSWReset, kResetShutdown);
  g_post_office.Publish(MSG_POWER_SHUTDOWN);
}

void CUPS_Internal::Restored(bool trap) {
  monitor_printf_debug("Power Restored\n");
  if (trap) power_send_trap(10);
  Report(REPORT_RESTORED);
  pdb::set_v(vol::powerSource, 4);
  pdb::set_v(vol::lineVolts, 120);
  g_post_office.Publish(MSG_POWER_RESTORED);
  m_byState2 = STATE_MAINS;
}

void CUPS_Internal::Poll() {
  m_byState = PERIPHERAL_VALID;
  const uint32_t t = pdb::global_time();
  if (t == m_dwLastTime && m_byClockStopped < kClockStoppedLimit) {
    ++m_byClockStopped;
  } else {
    m_dwLastTime = t;
    m_byClockStopped = 0;
  }
  if (pdb::get_nv(nv::dmsSWReset) == 0 && ShutdownRequested()) {
    g_post_office.Publish(MSG_SHUTDOWN_REQUEST);
    pdb::set_nv(nv::dmsSWReset, kResetRequested);
  }

  switch (m_byState2) {
    case STATE_MAINS:
      if (PrimaryPowerLost()) {
        monitor_printf_debug("Primary power lost\n");
        m_dwSaveWait = 0;
        m_dwLossTime = t;
        Report(REPORT_BATTERY_OK_OR_LOST);
        pdb::set_v(vol::powerSource, 7);
        pdb::set_v(vol::lineVolts, 0);
        g_post_office.Publish(MSG_POWER_LOST);
        m_byState2 = STATE_LOST;
      }
      break;
    case STATE_LOST: {
      if (!PrimaryPowerLost()) {
        Restored(false);
        break;
      }
      if (g_file_save_pending && m_dwSaveWait < kSaveWaitLimit) {
        monitor_printf_debug("Waiting for File to Save\n");
        ++m_dwSaveWait;
        break;
      }
      if (t < m_dwLossTime + kBrownoutSeconds) {
        monitor_printf_debug("Brownout protection:%d\n", m_byClockStopped);
        if (m_byClockStopped >= kClockStoppedLimit) Shutdown();
        break;
      }
      monitor_printf_debug("Brownout protection expired\n");
      uint32_t ports = 0;
      for (uint32_t p = 0; p < kTrapPorts; ++p)
        if (pdb::get_nv(nv::quorCommConfigTraps(p)) != 0) ++ports;
      if (ports == 0) {
        Shutdown();
        break;
      }
      uint32_t n = 0;
      const uint8_t* specific =
          g_pDataBase ? g_pDataBase->GetString(nv::quorTrapsEnterpriseSpecific.offset, 4, g_pDataBase->mib_nv, &n)
                      : nullptr;
      if ((pdb::get_nv(nv::quorTrapsGeneric) & 0x40) && specific && n >= 1 && (specific[0] & 0x80)) {
        monitor_printf_debug("UPS on battery power trap enabled\n");
        power_send_trap(9);
      }
      if (TrapBufferEmpty())
        Shutdown();
      else
        m_byState2 = STATE_SHUTDOWN_PENDING;
      break;
    }
    case STATE_SHUTDOWN_PENDING:
      if (!PrimaryPowerLost()) {
        Restored(true);
        break;
      }
      if (reg_read8(REG_POWER) & BIT_BATTERY_LOW) {
        monitor_printf_debug("Battery Low Shutdown\n");
        Shutdown();
      }
      if (TrapBufferEmpty()) {
        monitor_printf_debug("Trap Buffer Empty Shutdown\n");
        Shutdown();
      }
      if (t >= m_dwLossTime + kBatteryLimitSeconds) {
        monitor_printf_debug("30 Minute Timeout Shutdown\n");
        Shutdown();
      }
      if (m_byClockStopped >= kClockStoppedLimit) {
        monitor_printf_debug("Clock Stopped Shutdown\n");
        Shutdown();
      }
      break;
    default:
      m_byState2 = STATE_MAINS;
      break;
  }
}
