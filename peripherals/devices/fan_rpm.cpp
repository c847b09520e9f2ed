#include "peripherals/devices/fan_rpm.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "database/objects.h"
#include "frame/trace/trace.h"
#include "peripherals/devices/fan_heater_io.h"
#include "peripherals/pdb.h"
#include "peripherals/peripheral_task.h"

namespace {

constexpr uint16_t kFirstType = 730, kLastCreated = 745, kFirstHigh = 810, kLastHigh = 841;
const char* const kPassed = "INTAKE FAN AND FILTER DIAGNOSTICS PASSED";
const char* const kFailed = "INTAKE FAN AND FILTER DIAGNOSTICS FAILED";

// "RPM SENSOR nn": 01..16 for 730..745, 17..48 for 810..841.
int sensor_number(uint16_t t) {
  if (t >= kFirstType && t <= kLastCreated) return t - kFirstType + 1;
  if (t >= kFirstHigh && t <= kLastHigh) return t - kFirstHigh + 17;
  return 0;
}

const char* name_of(uint16_t t) {
  static char names[48][16];
  const int n = sensor_number(t);
  if (!n) return nullptr;
  char* s = names[n - 1];
  if (!s[0]) std::snprintf(s, sizeof names[0], "RPM SENSOR %02d", n);
  return s;
}

bool pairs() { return (pdb::get_nv(nv::quorSpecialFeatureSet) & 0x10) != 0; }

climate_point* intake_controller() {
  return dynamic_cast<climate_point*>(live_peripheral(CFanRPM::TYPE_INTAKE_CONTROL));
}

}  // namespace

CFanRPM::CFanRPM(uint16_t type_id, uint32_t selector, uint32_t address)
    : can_peripheral(CLASS_CODE, type_id, selector, address, 0) {}

CFanRPM::~CFanRPM() {
  if (can_core* core = hub()) core->unregister_device(this);
  if (!peripheral_tables_live()) return;
  CPeripheral::UnregisterStatus(m_uStatusRow);
  m_uStatusRow = kRowAny;
  CPeripheral::UnregisterClimateRow(&m_iClimateRow);
  CPeripheral::UnregisterFanRow(&m_iFanRow);
}

const char* CFanRPM::NameOfType(uint16_t type_id) { return name_of(type_id); }

uint16_t CFanRPM::TypeOfName(const char* name) {
  if (!name) return 0;
  for (uint16_t t = kFirstType; t <= kLastCreated; ++t)
    if (std::strcmp(name_of(t), name) == 0) return t;
  for (uint16_t t = kFirstHigh; t <= kLastHigh; ++t)
    if (std::strcmp(name_of(t), name) == 0) return t;
  return 0;
}

CPeripheral* CFanRPM::Create(const pl_record& record) {
  CPeripheral::ParseParameters(record.parameters);
  CFanRPM* s = new (std::nothrow) CFanRPM(record.type_id, s_dwParamValues[1], s_dwParamValues[0]);
  if (!s) return nullptr;
  s->m_wPollInterval = POLL_INTERVAL;
  s->m_wPollCountdown = static_cast<uint16_t>(std::rand() % POLL_INTERVAL);
  s->m_wConfigSlot = record.slot;
  s->m_byFromDatabase = 1;
  if (!s->Init()) {
    delete s;
    return nullptr;
  }
  s->SetEnabled(1);
  return s;
}

int CFanRPM::Init() {
  RegisterCan();
  if (!CPeripheral::RegisterClimateRow(&m_iClimateRow, TypeName(), kPassed, 2))
    monitor_printf("Failed to register %s in Climate Ctrl Table\n", TypeName());
  if (!CPeripheral::RegisterFanRow(&m_iFanRow)) monitor_printf("Failed to register RPM SENSOR\n");
  if (!register_status_row(this, &m_uStatusRow, PORT_DIGITAL, 2, 1)) {
    monitor_printf("CFanRPM::Init: error, failed to register in aux io table\n");
    m_byState = PERIPHERAL_INIT_ERROR;
    return 0;
  }
  CPeripheral::SetStatusValue(m_uStatusRow, 0);
  m_byState = PERIPHERAL_READING;
  return 1;
}

void CFanRPM::ServiceIfDue() {
  if ((m_bySilence == 20 || m_bySilence == 40 || m_bySilence == 60) && (m_busNumber & 2) &&
      m_byRetries < MAX_SERVICES) {
    monitor_printf_debug("reinit q5 can driver \n");
    ++m_byRetries;
    service();
  }
}

void CFanRPM::Poll() {
  if (m_byState < PERIPHERAL_READING) {
    if (m_iClimateRow >= 0 && CPeripheral::GetClimateRowByteB(m_iClimateRow) == 3) {
      CPeripheral::SetClimateRowByteB(m_iClimateRow, 4);
      CPeripheral::SetClimateRowText(m_iClimateRow, "CLIMATE CONTROL IS IN AN ERROR STATE");
    }
    return;
  }
  can_packet p;
  while (NextReply(&p)) {
    m_bySilence = 0;
    if (m_bySilentFailure) {
      CPeripheral::ClearFanBitmapBit(m_iFanRow, m_iClimateRow, kPassed);
      m_byFailureReported = 0;
      m_bySilentFailure = 0;
    }
    if (p.data[0] == CAN_REPLY_IDENTIFY)
      m_wVersion = Word(p, 5);
    else if (p.data[0] == CAN_REPLY_INPUTS)
      OnReading(Word(p, 3));
  }
  if (m_byIdentifyCountdown == 10) {
    m_byIdentifyCountdown = 0;
    SendCommand(CAN_CMD_IDENTIFY);
    return;
  }
  ++m_byIdentifyCountdown;
  SendCommand(CAN_CMD_READ);
  if (m_bySilence < SILENT_READS) {
    ++m_bySilence;
    ServiceIfDue();
  }
  if (m_bySilence == SILENT_READS) {
    m_bySilence = SILENT_READS + 1;
    m_wRpm = 0;
    // Nothing is known of the fan: it is not shown running, and the
    // diagnostics fail until the sensor answers again.
    CPeripheral::SetStatusValue(m_uStatusRow, 0);
    if (!m_byFailureReported) {
      CPeripheral::SetFanBitmapBit(m_iFanRow, m_iClimateRow, kFailed);
      m_byFailureReported = 1;
      m_bySilentFailure = 1;
    }
    m_byState = PERIPHERAL_COMM_ERROR;
  }
}

void CFanRPM::OnReading(uint16_t rpm) {
  m_wRpm = rpm;
  monitor_printf_debug("FanRPM Reading %d\n", rpm);
  m_byState = PERIPHERAL_VALID;
  m_byFanOn = 0;
  if (intake_controller()) HandleTest();
  if (m_byTestState != 2) return;
  if (!m_byFanOn) {
    CPeripheral::SetClimateRowByteA(m_iClimateRow, 0);
    return;
  }
  CPeripheral::SetClimateRowByteA(m_iClimateRow, 1);
  JudgeSpeed(true);
}

// The low-speed count: ten slow readings in a row make a failure.
void CFanRPM::JudgeSpeed(bool report) {
  if (m_wRpm < MIN_RPM) {
    if (m_byLowSpeed) --m_byLowSpeed;
    if (m_byLowSpeed) return;
    CPeripheral::SetStatusValue(m_uStatusRow, 0);
    if (!report) {
      m_byTestFailed = 1;
    } else if (!m_byFailureReported) {
      CPeripheral::SetFanBitmapBit(m_iFanRow, m_iClimateRow, kFailed);
      m_byFailureReported = 1;
    }
    return;
  }
  CPeripheral::SetStatusValue(m_uStatusRow, 1);
  if (!report) {
    m_byTestFailed = 0;
  } else if (m_byFailureReported) {
    CPeripheral::ClearFanBitmapBit(m_iFanRow, m_iClimateRow, kPassed);
    m_byFailureReported = 0;
  }
  m_byLowSpeed = 10;
}

void CFanRPM::HandleTest() {
  climate_point* control = intake_controller();
  if (m_byTestState < 2) {
    m_byTestState = 2;
  } else if (m_byTestState == 3) {
    if (pdb::global_time() > m_dwTestEnd) {
      CPeripheral::SetClimateRowByteA(m_iClimateRow, 0);
      m_byLowSpeed = 10;
      m_byTestState = 2;
      CPeripheral::SetClimateRowByteB(m_iClimateRow, 2);
      if (!m_byTestFailed) {
        CPeripheral::ClearFanBitmapBit(m_iFanRow, m_iClimateRow, kPassed);
        m_byFailureReported = 0;
      } else {
        CPeripheral::SetFanBitmapBit(m_iFanRow, m_iClimateRow, kFailed);
        m_byFailureReported = 1;
      }
    } else if (control->IsCommandedOn()) {
      JudgeSpeed(false);
    }
    return;
  }
  // Idle (2, or 4 after a refused test).
  if (m_iClimateRow >= 0 && CPeripheral::GetClimateRowByteB(m_iClimateRow) == 3) {
    bool start = true;
    if (pairs()) {
      const bool even = (m_wTypeId & 1) == 0;
      CFanRPM* partner =
          dynamic_cast<CFanRPM*>(live_peripheral(static_cast<uint16_t>(even ? m_wTypeId + 1 : m_wTypeId - 1)));
      start = !partner || partner->GetTestState() != 3;
      if (start) control->SetRunReason(even ? 0 : 1);
    }
    if (start) {
      m_byTestState = 3;
      m_dwTestEnd = pdb::global_time() + TEST_SECONDS;
      CPeripheral::SetClimateRowByteA(m_iClimateRow, 1);
      m_byTestFailed = 0;
    }
  }
  if (m_byTestState == 2 && control->IsCommandedOn()) {
    if (!pairs())
      m_byFanOn = 1;
    else if ((m_wTypeId & 1) == 0)
      m_byFanOn = control->RunReason() == 1;
    else
      m_byFanOn = control->RunReason() != 1;
  }
}
