#include "peripherals/devices/fan_heater_io.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "database/objects.h"
#include "frame/trace/trace.h"
#include "peripherals/pdb.h"
#include "peripherals/peripheral_task.h"

namespace {

struct type_row {
  uint16_t type;
  const char* name;
  uint8_t class_code;  // 0: named but never created
};

const type_row kFanTypes[] = {
    {508, "INTAKE FAN5 CONTROL", 11}, {509, "INTAKE FAN6 CONTROL", 11}, {510, "INTAKE FAN1 CONTROL", 11},
    {511, "INTAKE FAN2 CONTROL", 11}, {512, "INTAKE FAN3 CONTROL", 11}, {513, "INTAKE FAN4 CONTROL", 11},
    {514, "INTAKE FAN1 STATUS", 12},  {518, "PIXEL FAN1 CONTROL", 11},  {522, "PIXEL FAN1 STATUS", 12},
    {526, "FACE FAN1 CONTROL", 11},   {530, "FACE FAN1 STATUS", 12},
};
const type_row kHeaterTypes[] = {
    {534, "HEATER1 CONTROL", 21},
    {538, "HEATER1 STATUS", 22},
    {542, "MAINTENANCE HEATER1 CONTROL", 21},
    {546, "MAINTENANCE HEATER1 STATUS", 22},
};

template <size_t N>
const type_row* row_of(const type_row (&table)[N], uint16_t type) {
  for (const type_row& r : table)
    if (r.type == type) return &r;
  return nullptr;
}

template <size_t N>
uint16_t type_of(const type_row (&table)[N], const char* name) {
  if (!name) return 0;
  for (const type_row& r : table)
    if (std::strcmp(r.name, name) == 0) return r.type;
  return 0;
}

bool is_control_class(uint8_t c) { return c == 11 || c == 21; }

bool is_intake_control(uint16_t t) { return t >= 508 && t <= 513; }

bool flow_sensor_live() {
  for (uint16_t t = 710; t <= 719; ++t)
    if (live_peripheral(t)) return true;
  for (uint16_t t = 850; t <= 863; ++t)
    if (live_peripheral(t)) return true;
  return false;
}

uint32_t status_word() { return g_pPeripheralTask ? g_pPeripheralTask->StatusWord() : 0; }

template <class T, size_t N>
CPeripheral* create_point(const pl_record& record, const type_row (&table)[N], bool need_board) {
  const type_row* row = row_of(table, record.type_id);
  if (!row || !row->class_code) return nullptr;
  CPeripheral::ParseParameters(record.parameters);
  const uint8_t point = static_cast<uint8_t>(CPeripheral::s_dwParamValues[0]);
  const uint16_t board = static_cast<uint16_t>(CPeripheral::s_dwParamValues[1]);
  if (need_board && !live_peripheral(board)) return nullptr;
  T* p = new (std::nothrow) T(record.type_id);
  if (!p) return nullptr;
  p->m_wPollInterval = climate_point::POLL_INTERVAL;
  p->m_wPollCountdown = static_cast<uint16_t>(std::rand() % climate_point::POLL_INTERVAL);
  p->m_wConfigSlot = record.slot;
  p->m_byFromDatabase = 1;
  if (!p->Init(point, board)) {
    delete p;
    return nullptr;
  }
  p->SetOutput(0);
  p->SetEnabled(1);
  return p;
}

}  // namespace

climate_point::climate_point(uint8_t class_code, uint16_t type_id, bool fan, bool control)
    : CPeripheral(class_code, type_id), m_bFan(fan), m_bControl(control) {}

climate_point::~climate_point() {
  if (!peripheral_tables_live()) {
    m_Bridge.Detach();
    return;
  }
  CPeripheral::UnregisterStatus(m_uStatusRow);
  m_uStatusRow = kRowAny;
  if (m_dwNodeId) m_Bridge.UnRegister(m_dwNodeId);
  m_dwNodeId = 0;
  // No input notification reaches an object on its way out.
  m_Bridge.Detach();
  if (m_bFan) CPeripheral::UnregisterFanRow(&m_iFanRow);
  CPeripheral::UnregisterClimateRow(&m_iClimateRow);
}

bool climate_point::Pairs() const { return m_bFan && (pdb::get_nv(nv::quorSpecialFeatureSet) & 0x10) != 0; }

uint32_t climate_point::OutputBit() const {
  switch (m_wTypeId) {
    case 518:
      return 0x200000;
    case 526:
      return 0x400000;
    case 534:
      return 0x080000;
    case 542:
      return 0x040000;
    default:
      return 0x800000;  // the intake fans
  }
}

int climate_point::Init(uint8_t point, uint16_t board_type) {
  m_pBoard = dynamic_cast<DCIO*>(live_peripheral(board_type));
  bool ok = m_pBoard != nullptr;
  if (ok && m_bControl) {
    uint32_t channels = 0;
    dcio_bridge::ChannelMask(point, &channels, true);
    if (Pairs()) {
      monitor_printf("setting up a pri/sec fan\n");
      dcio_bridge::ChannelMask(static_cast<uint8_t>(point + 1), &channels, false);
    }
    ok = m_Bridge.Init(board_type, this);
    if (ok) m_dwNodeId = m_Bridge.Register(interface_cfg(channels, 1, 0, 0));
    if (ok) SetOutput(0);
  } else if (ok) {
    if (m_bFan && !CPeripheral::RegisterFanRow(&m_iFanRow)) monitor_printf("Failed to register fan\n");
    uint32_t channels = 0;
    dcio_bridge::ChannelMask(point, &channels, true);
    ok = m_Bridge.Init(board_type, this);
    if (ok) m_dwNodeId = m_Bridge.Register(interface_cfg(channels, 0, 0, 0));
  }
  if (ok) ok = register_status_row(this, &m_uStatusRow, PORT_DIGITAL, m_bControl ? 1 : 2, 1) != 0;
  if (ok && m_dwNodeId) {
    m_byState = PERIPHERAL_READING;
    return 1;
  }
  if (m_bFan)
    CPeripheral::SetFanBitmapBit(m_iFanRow, m_iClimateRow, "CONFIGURATION ERROR");
  else
    CPeripheral::SetClimateBitmapBit(m_iClimateRow, "CONFIGURATION ERROR");
  m_byState = PERIPHERAL_INIT_ERROR;
  return 0;
}

void climate_point::RegisterClimateRows() {
  const uint16_t t = m_wTypeId;
  if (m_bControl) {
    if (is_intake_control(t) && flow_sensor_live()) return;
    const char* text = m_bFan ? "FANS PASSED" : "HEATER PASSED";
    const uint8_t kind = !m_bFan ? 7 : is_intake_control(t) ? 2 : 3;
    if (!CPeripheral::RegisterClimateRow(&m_iClimateRow, TypeName(), text, kind)) {
      monitor_printf("Failed to register %s in Climate Ctrl Table\n", TypeName());
      return;
    }
    if (is_intake_control(t) && !live_peripheral(static_cast<uint16_t>(t + 4))) {
      CPeripheral::SetFanRowByte(m_iClimateRow, 4);
      CPeripheral::SetFanRowText(m_iClimateRow, "FANS NOT MONITORED");
    }
    return;
  }
  climate_point* control = dynamic_cast<climate_point*>(live_peripheral(static_cast<uint16_t>(t - 4)));
  if (control) {
    m_iPairedRow = control->GetClimateRow();
    if (m_iPairedRow >= 0) CPeripheral::SetFanRowByte(m_iPairedRow, 2);
  }
  if (m_iPairedRow == -1 && m_byRetries < 3) {
    ++m_byRetries;
    m_byStartDelay = 10;
  }
}

void climate_point::MarkFailed(const char* text) {
  const int32_t climate = m_bControl ? m_iClimateRow : m_iPairedRow;
  if (m_bFan)
    CPeripheral::SetFanBitmapBit(m_iFanRow, climate, text);
  else
    CPeripheral::SetClimateBitmapBit(climate, text);
}

void climate_point::MarkPassed() {
  const int32_t climate = m_bControl ? m_iClimateRow : m_iPairedRow;
  const char* text = m_bFan ? "FANS PASSED" : "HEATER PASSED";
  if (m_bFan)
    CPeripheral::ClearFanBitmapBit(m_iFanRow, climate, text);
  else
    CPeripheral::ClearClimateBitmapBit(climate, text);
}

void climate_point::Report() {
  if (m_byPassing)
    MarkPassed();
  else
    MarkFailed(m_bFan ? "FANS FAILED" : "HEATER FAILED");
}

void climate_point::Poll() {
  if (m_byState < PERIPHERAL_READING) return;
  DCIO* board = m_Bridge.Board();
  if (board && board->m_byState == PERIPHERAL_COMM_ERROR) {
    m_byState = PERIPHERAL_COMM_ERROR;
    CPeripheral::SetStatusValue(m_uStatusRow, m_bFan ? 0 : (IsOutputOn() ? 1 : 0));
    MarkFailed("COMM ERROR");
  } else if (m_byStartDelay) {
    if (--m_byStartDelay == 0) RegisterClimateRows();
  } else {
    if (m_byState == PERIPHERAL_COMM_ERROR) MarkPassed();
    if (m_bySettle) --m_bySettle;
    if (m_bControl)
      PollControl();
    else
      PollStatus();
  }
  m_Bridge.Process();
}

void climate_point::PollControl() {
  m_byState = PERIPHERAL_VALID;
  const bool wanted = (status_word() & OutputBit()) != 0;
  if (wanted && !m_byCommanded)
    SetOutput(1);
  else if (!wanted && m_byCommanded)
    SetOutput(0);
  if (m_Bridge.InputsValid()) {
    const uint8_t level = IsOutputOn() ? 1 : 0;
    CPeripheral::SetClimateRowByteA(m_iClimateRow, level);
    CPeripheral::SetStatusValue(m_uStatusRow, level);
  }
  if (m_byTestState == 2) {
    if (CPeripheral::GetClimateRowByteB(m_iClimateRow) == 3) {
      if (CPeripheral::GetFanRowByte(m_iClimateRow) == 4) {
        CPeripheral::SetClimateRowByteB(m_iClimateRow, 2);
        CPeripheral::SetClimateRowText(m_iClimateRow, "CLIMATE CONTROL IS NOT MONITORED");
      } else {
        if (m_bFan) m_byRunReason = 2;
        m_dwTestEnd = pdb::global_time() + TEST_SECONDS;
        SetOutput(1);
        CPeripheral::SetClimateRowByteA(m_iClimateRow, 1);
        m_byTestState = 3;
      }
    }
    if (m_byTestState == 2 && Pairs() && m_byCommanded && m_wAlternation) {
      if (--m_wAlternation == 0) {
        // The other fan of the pair takes over.
        if (m_byRunReason == 2) m_byRunReason = 0;
        SetOutput(1);
        CPeripheral::SetClimateRowByteA(m_iClimateRow, 1);
      }
    }
  } else if (m_byTestState == 3) {
    if (pdb::global_time() > m_dwTestEnd) {
      SetOutput(0);
      if (m_bFan) m_byRunReason = 0;
      CPeripheral::SetClimateRowByteA(m_iClimateRow, 0);
      CPeripheral::SetClimateRowByteB(m_iClimateRow, 2);
      m_bySettle = 100;
      m_byTestState = 2;
    }
  } else {
    m_byTestState = 2;
  }
}

void climate_point::PollStatus() {
  const bool fresh = m_Bridge.InputsValid();
  const uint8_t input = IsOutputOn() ? 1 : 0;
  if (fresh) {
    m_byState = PERIPHERAL_VALID;
    CPeripheral::SetStatusValue(m_uStatusRow, input ? 0 : 1);
  }
  climate_point* control = dynamic_cast<climate_point*>(live_peripheral(static_cast<uint16_t>(m_wTypeId - 4)));
  if (control && m_iPairedRow >= 0 && control->IsSettled()) {
    if (CPeripheral::GetClimateRowByteA(m_iPairedRow) == 1)
      m_byPassing = input == 0 ? 1 : 0;
    else
      m_byPassing = input == 1 ? 1 : 0;
  }
  const uint32_t test = CPeripheral::GetClimateRowByteB(m_iPairedRow);
  if (m_byTestState == 3) {
    if (test == 2) {
      Report();
      m_bySettle = 100;
      m_byTestState = 2;
    }
  } else if (m_byTestState == 2) {
    if (test == 3)
      m_byTestState = 3;
    else
      Report();
  } else {
    m_byTestState = 2;
  }
}

void climate_point::SetOutput(uint8_t on) {
  if (!m_bControl) return;
  on = on ? 1 : 0;
  if (m_bFan) {
    pdb::set_v(vol::nvdotFanState, on ? 1 : 2);
    CPeripheral::SetClimateRowByteA(m_iClimateRow, on);
    CPeripheral::SetStatusValue(m_uStatusRow, on);
  }
  m_byCommanded = on;
  const uint8_t level = on;
  if (!Pairs()) {
    if (m_dwNodeId) m_Bridge.Set(m_dwNodeId, level);
  } else if (level) {
    if (m_byRunReason == 2) {
      m_Bridge.Set(m_dwNodeId, 3);
    } else if (m_byRunReason == 1) {
      m_Bridge.Set(m_dwNodeId, 2);
      m_byRunReason = 0;
    } else {
      m_Bridge.Set(m_dwNodeId, 1);
      m_byRunReason = 1;
    }
    m_wAlternation = (status_word() & CPeripheralTask::STATUS_TEST_VENTILATION) ? ALTERNATE_POLLS_TEST : ALTERNATE_POLLS;
  } else {
    m_Bridge.Set(m_dwNodeId, 0);
    m_wAlternation = 0;
  }
  m_bySettle = 10;
}

// ---------------------------------------------------------------- the classes

CFanIO::CFanIO(uint16_t type_id)
    : climate_point(row_of(kFanTypes, type_id) ? row_of(kFanTypes, type_id)->class_code : 0, type_id, true,
                    row_of(kFanTypes, type_id) && is_control_class(row_of(kFanTypes, type_id)->class_code)) {}

const char* CFanIO::NameOfType(uint16_t type_id) {
  const type_row* r = row_of(kFanTypes, type_id);
  return r ? r->name : nullptr;
}
uint16_t CFanIO::TypeOfName(const char* name) { return type_of(kFanTypes, name); }
CPeripheral* CFanIO::Create(const pl_record& record) { return create_point<CFanIO>(record, kFanTypes, true); }

CHeaterIO::CHeaterIO(uint16_t type_id)
    : climate_point(row_of(kHeaterTypes, type_id) ? row_of(kHeaterTypes, type_id)->class_code : 0, type_id, false,
                    row_of(kHeaterTypes, type_id) && is_control_class(row_of(kHeaterTypes, type_id)->class_code)) {}

const char* CHeaterIO::NameOfType(uint16_t type_id) {
  const type_row* r = row_of(kHeaterTypes, type_id);
  return r ? r->name : nullptr;
}
uint16_t CHeaterIO::TypeOfName(const char* name) { return type_of(kHeaterTypes, name); }
CPeripheral* CHeaterIO::Create(const pl_record& record) { return create_point<CHeaterIO>(record, kHeaterTypes, false); }
