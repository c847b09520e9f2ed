#include "peripherals/devices/io_based.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "database/objects.h"
#include "frame/peripheral/peripheral_trap.h"
#include "frame/trace/trace.h"
#include "peripherals/devices/can_peripheral.h"
#include "peripherals/devices/fan_heater_io.h"
#include "peripherals/pdb.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/peripheral_types.h"
#include "peripherals/power_supply_table.h"

namespace {

struct kind_name {
  uint16_t type;
  const char* name;
};

// In the order the name lookup tries them.
const kind_name kNames[] = {
    {580, "SWITCH BCD ACT1"},   {560, "SWITCH BINARY1"},    {570, "SWITCH BINARY ACT1"}, {650, "SWITCH BCD1"},
    {670, "IO FAULT/OK LED"},   {671, "CURRENT MESSAGE"},   {710, "FLOW SENSOR1"},       {711, "FLOW SENSOR2"},
    {712, "FLOW SENSOR3"},      {713, "FLOW SENSOR4"},      {714, "FLOW SENSOR5"},       {715, "FLOW SENSOR6"},
    {716, "FLOW SENSOR7"},      {717, "FLOW SENSOR8"},      {718, "FLOW SENSOR9"},       {719, "FLOW SENSOR10"},
    {850, "FLOW SENSOR11"},     {851, "FLOW SENSOR12"},     {852, "FLOW SENSOR13"},      {853, "FLOW SENSOR14"},
    {854, "FLOW SENSOR15"},     {855, "FLOW SENSOR16"},     {856, "FLOW SENSOR17"},      {857, "FLOW SENSOR18"},
    {858, "FLOW SENSOR19"},     {859, "FLOW SENSOR20"},     {860, "FLOW SENSOR21"},      {861, "FLOW SENSOR22"},
    {862, "FLOW SENSOR23"},     {863, "FLOW SENSOR24"},     {720, "FLOW POWER SENSE"},   {749, "RPM POWER SENSE"},
    {75, "SURGE SUPPRESSOR1"},  {76, "SURGE SUPPRESSOR2"},  {77, "SURGE SUPPRESSOR3"},   {78, "SURGE SUPPRESSOR4"},
    {79, "SURGE SUPPRESSOR5"},  {80, "SURGE SUPPRESSOR6"},  {640, "BLANK SWITCH"},       {641, "BLANK INDICATOR"},
};

constexpr uint8_t kMemoryChangeable = 3;
constexpr uint8_t kMemoryBlank = 7;
constexpr uint8_t kMessageValid = 4;
constexpr uint8_t kSourceExternal = 3;

CIO_BasedPeripheral* live_io(uint16_t type) { return dynamic_cast<CIO_BasedPeripheral*>(live_peripheral(type)); }

// Bits 0..n-1 of the inverted levels: the active points as ones.
uint32_t active_bits(uint32_t levels, uint32_t n) {
  const uint32_t mask = n >= 32 ? 0xFFFFFFFFu : (1u << n) - 1;
  return ~levels & mask;
}

// The number of active points among the first n and the highest of them.
uint32_t count_active(uint32_t levels, uint32_t n, uint32_t* highest) {
  uint32_t count = 0;
  const uint32_t bits = active_bits(levels, n);
  for (uint32_t k = 0; k < n && k < 32; ++k)
    if (bits >> k & 1) {
      ++count;
      *highest = k;
    }
  return count;
}

// Channel bits of points first .. first + count - 1 (the point counts up as
// a byte, as the records have it).
uint32_t point_range(uint32_t first, uint32_t count) {
  uint32_t mask = 0;
  for (uint8_t p = static_cast<uint8_t>(first); p < first + count; ++p) {
    dcio_bridge::ChannelMask(p, &mask, false);
    if (p == 0xFF) break;
  }
  return mask;
}

}  // namespace

void peripheral_write_activation(uint32_t slot, const uint8_t* code, uint32_t length) {
  if (!g_pDataBase) return;
  if (length) {
    pdb::set_v(vol::activationSlotSourceMode(slot), kSourceExternal);
    pdb::set_v(vol::activationSlotReason(slot), 2);
  }
  g_pDataBase->SetString(vol::activationSlotCode(slot).offset, 4, code, length, g_pDataBase->mib_v, DB_NOTIFY);
}

CIO_BasedPeripheral::CIO_BasedPeripheral(uint16_t type_id) : CPeripheral(CLASS_CODE, type_id) {}

CIO_BasedPeripheral::~CIO_BasedPeripheral() {
  m_Bridge.Detach();
  if (!peripheral_tables_live()) return;
  if (m_dwFirstNode) m_Bridge.UnRegister(m_dwFirstNode);
  if (m_dwSecondNode) m_Bridge.UnRegister(m_dwSecondNode);
  m_dwFirstNode = m_dwSecondNode = 0;
  if (m_iStatusRow >= 0) CPeripheral::UnregisterStatus(static_cast<uint32_t>(m_iStatusRow));
  m_iStatusRow = -1;
  CPeripheral::UnregisterClimateRow(&m_iClimateRow);
  CPeripheral::UnregisterFanRow(&m_iFanRow);
  if (m_bSupplyRegistered) g_power_supply_table.UnRegisterPowerSupply(&m_wSupplyId);
  m_bSupplyRegistered = false;
  m_wSupplyId = 0;
}

const char* CIO_BasedPeripheral::NameOfType(uint16_t type_id) {
  for (const kind_name& k : kNames)
    if (k.type == type_id) return k.name;
  return nullptr;
}

uint16_t CIO_BasedPeripheral::TypeOfName(const char* name) {
  if (!name) return 0;
  for (const kind_name& k : kNames)
    if (std::strcmp(k.name, name) == 0) return k.type;
  return 0;
}

// ---------------------------------------------------------------- creation

CPeripheral* CIO_BasedPeripheral::Create(const pl_record& record) {
  const uint16_t t = record.type_id;
  if (IsSurge(t) || IsFlow(t) || t == TYPE_FAULT_LED || t == TYPE_CURRENT_MESSAGE || t == TYPE_FLOW_POWER_SENSE ||
      t == TYPE_RPM_POWER_SENSE)
    return CreatePointPair(record);
  if (t == TYPE_SWITCH_BINARY || t == TYPE_SWITCH_BINARY_ACT || t == TYPE_SWITCH_BCD) return CreateSwitch(record);
  if (t == TYPE_SWITCH_BCD_ACT) return CreateBcdActivate(record);
  if (t == TYPE_BLANK_SWITCH) return CreateSinglePoint(record, 0);
  if (t == TYPE_BLANK_INDICATOR) return CreateSinglePoint(record, 1);
  return nullptr;
}

CIO_BasedPeripheral* CIO_BasedPeripheral::Construct(const pl_record& record, uint16_t interval) {
  auto* p = new (std::nothrow) CIO_BasedPeripheral(record.type_id);
  if (!p) return nullptr;
  p->m_wPollInterval = interval;
  p->m_wPollCountdown = static_cast<uint16_t>(std::rand() % interval);
  p->m_wConfigSlot = record.slot;
  p->m_byFromDatabase = 1;
  return p;
}

namespace {

CPeripheral* finish(CIO_BasedPeripheral* p, bool ok) {
  if (!ok) {
    delete p;
    return nullptr;
  }
  p->SetEnabled(1);
  return p;
}

}  // namespace

CPeripheral* CIO_BasedPeripheral::CreatePointPair(const pl_record& record) {
  CPeripheral::ParseParameters(record.parameters);
  const uint32_t* v = s_dwParamValues;
  const uint16_t board = static_cast<uint16_t>(v[0]);
  interface_cfg first(v[1], v[2] != 0, 0, 0);
  interface_cfg second(v[3], v[4] != 0, 0, 0);
  if (!live_peripheral(board)) return nullptr;
  CIO_BasedPeripheral* p = Construct(record, POLL_INTERVAL);
  if (!p) return nullptr;
  return finish(p, p->Init(record.type_id, board, v[1] ? &first : nullptr, v[3] ? &second : nullptr));
}

CPeripheral* CIO_BasedPeripheral::CreateSwitch(const pl_record& record) {
  CPeripheral::ParseParameters(record.parameters);
  uint32_t v[kParamFields];
  std::memcpy(v, s_dwParamValues, sizeof v);
  interface_cfg group(point_range(v[0], v[2]), 0, 0, 0);
  CIO_BasedPeripheral* p = Construct(record, POLL_INTERVAL);
  if (!p) return nullptr;
  if (record.type_id != TYPE_SWITCH_BINARY_ACT) {
    p->m_byPriorityMode = v[3] != 0;
    p->m_dwBlankDelay = v[4] * 2;
    p->m_dwBlankCountdown = p->m_dwBlankDelay;
    p->m_dwOffset = v[5];
    p->m_byMomentary = v[6] != 0;
    p->m_wPollInterval = 1;
    p->m_wPollCountdown = 1;
  }
  return finish(p, p->Init(record.type_id, static_cast<uint16_t>(v[1]), &group, nullptr));
}

CPeripheral* CIO_BasedPeripheral::CreateBcdActivate(const pl_record& record) {
  CPeripheral::ParseParameters(record.parameters);
  const uint32_t first = s_dwParamValues[0], board = s_dwParamValues[1], count = s_dwParamValues[2];
  const uint32_t mask = point_range(first, count);
  uint32_t trigger = 0;
  if (count) dcio_bridge::ChannelMask(static_cast<uint8_t>(first + count - 1), &trigger, true);
  interface_cfg group(mask, 0, trigger, 3);
  CIO_BasedPeripheral* p = Construct(record, POLL_INTERVAL);
  if (!p) return nullptr;
  return finish(p, p->Init(record.type_id, static_cast<uint16_t>(board), mask ? &group : nullptr, nullptr));
}

CPeripheral* CIO_BasedPeripheral::CreateSinglePoint(const pl_record& record, uint8_t write_access) {
  CPeripheral::ParseParameters(record.parameters);
  const uint32_t point = s_dwParamValues[0];
  const uint16_t board = static_cast<uint16_t>(s_dwParamValues[1]);
  uint32_t mask = 0;
  if (point <= 0xFF) dcio_bridge::ChannelMask(static_cast<uint8_t>(point), &mask, true);
  interface_cfg group(mask, write_access, 0, 0);
  CIO_BasedPeripheral* p = Construct(record, POLL_INTERVAL);
  if (!p) return nullptr;
  return finish(p, p->Init(record.type_id, board, &group, nullptr));
}

void CIO_BasedPeripheral::RegisterStatusRow() {
  aux_index_list list;
  const bool have_list = CPeripheral::GetAuxIOIndexList(m_wConfigSlot, &list) != 0;
  uint32_t row = have_list && list.count ? list.rows[0] : kRowAny;
  if (!CPeripheral::RegisterStatus(&row, PORT_DIGITAL, DIR_INPUT, 1, "%s", TypeName())) return;
  m_iStatusRow = static_cast<int32_t>(row);
  if (have_list) {
    if (list.count)
      list.rows[0] = row;
    else
      list.Append(row);
    CPeripheral::SetAuxIOIndexList(m_wConfigSlot, &list);
  }
  CPeripheral::SetStatusValue(row, 1);
}

bool CIO_BasedPeripheral::Init(uint16_t type_id, uint16_t board_type, const interface_cfg* first,
                               const interface_cfg* second) {
  m_wBoardType = board_type;
  // An empty group registers nothing: it would claim no point.
  if (m_Bridge.Init(board_type, this)) {
    if (first && first->m_Channels.Any()) m_dwFirstNode = m_Bridge.Register(*first);
    if (second && second->m_Channels.Any()) m_dwSecondNode = m_Bridge.Register(*second);
  }
  if (IsSurge(type_id)) {
    m_bSupplyRegistered = g_power_supply_table.RegisterPowerSupply(&m_wSupplyId, TypeName(), "SURGE PASSED",
                                                                    CPowerSupplyTable::TYPE_IO_SENSE) != 0;
    if (!m_bSupplyRegistered) monitor_printf("Failed to register %s in Power Supply Table\n", TypeName());
    RegisterStatusRow();
    if (m_iStatusRow < 0) {
      m_byState = PERIPHERAL_INIT_ERROR;
      return false;
    }
  } else if (type_id == TYPE_SWITCH_BCD) {
    m_dwSelected = 0xFFFF;
  } else if (IsFlow(type_id)) {
    if (!CPeripheral::RegisterClimateRow(&m_iClimateRow, TypeName(), "INTAKE FAN AND FILTER DIAGNOSTICS PASSED", 2))
      monitor_printf("Failed to register %s in Climate Ctrl Table\n", TypeName());
    if (!CPeripheral::RegisterFanRow(&m_iFanRow)) monitor_printf("Failed to register fan\n");
    RegisterStatusRow();
    if (m_iStatusRow < 0) {
      monitor_printf("CIO_BasedPeripheral::Init: error, failed to register in aux io table\n");
      m_byState = PERIPHERAL_INIT_ERROR;
      return false;
    }
  }
  if (!m_dwFirstNode) {
    m_byState = PERIPHERAL_INIT_ERROR;
    return false;
  }
  m_byState = PERIPHERAL_READING;
  return true;
}

// ---------------------------------------------------------------- messages

void CIO_BasedPeripheral::BlankCode(CMsgActivationCode* code, uint8_t priority) {
  code->m_wDuration = 0xFFFF;
  code->m_byPriority = priority;
  code->m_byMemoryType = kMemoryBlank;
  code->m_wMessageNumber = 1;
  code->m_wCRC = 0;
  std::memset(code->m_bySource, 0, sizeof code->m_bySource);
  code->Encode();
}

bool CIO_BasedPeripheral::EntryCode(uint32_t index, uint32_t offset, CMsgActivationCode* code) const {
  if (index >= SWITCH_ENTRIES || !g_pDataBase) return false;
  code->m_wDuration = 0xFFFF;
  code->m_byPriority = SWITCH_PRIORITY;
  std::memset(code->m_bySource, 0, sizeof code->m_bySource);
  uint32_t length = 0;
  const uint8_t* stored =
      g_pDataBase->GetString(nv::quorMessageIDCode(index).offset, 4, g_pDataBase->mib_nv, &length);
  if (stored && length) {
    CMsgIDCode id;
    if (!id.Decode(stored, length)) return false;
    code->m_byMemoryType = id.m_byMemoryType;
    code->m_wMessageNumber = id.m_wMessageNumber;
    code->m_wCRC = id.m_wCRC;
  } else {
    // An empty entry names changeable message index + 1 + offset; a number
    // past the message table has no CRC to read.
    const uint64_t number = uint64_t{index} + 1 + offset;
    if (number > CHANGEABLE_MESSAGES) return false;
    code->m_byMemoryType = kMemoryChangeable;
    code->m_wMessageNumber = static_cast<uint16_t>(number);
    code->m_wCRC = static_cast<uint16_t>(pdb::get_nv(nv::dmsMessageCRC(static_cast<uint32_t>(number - 1))));
  }
  code->Encode();
  return true;
}

void CIO_BasedPeripheral::WriteActivation(const CMsgActivationCode& code) {
  peripheral_write_activation(SWITCH_SLOT, code.m_encoded, MSG_ACTIVATION_CODE_SIZE);
}

bool CIO_BasedPeripheral::Activate(uint32_t index, uint32_t offset) {
  CMsgActivationCode code;
  if (!EntryCode(index, offset, &code)) return false;
  WriteActivation(code);
  return true;
}

void CIO_BasedPeripheral::WriteBlank() {
  CMsgActivationCode blank;
  BlankCode(&blank, SWITCH_PRIORITY);
  WriteActivation(blank);
}

bool CIO_BasedPeripheral::BuildLevelActivation(CMsgActivationCode* code) {
  const uint32_t levels = Levels();
  const uint32_t n = m_Bridge.CountChannels(m_dwFirstNode);
  uint32_t highest = 0;
  const uint32_t active = count_active(levels, n, &highest);
  if (active > 1) return false;
  if (active == 0) {
    BlankCode(code, SWITCH_PRIORITY);
    return true;
  }
  m_dwSelected = highest;
  if (!EntryCode(highest, m_dwOffset, code)) return false;
  if (code->m_byMemoryType == kMemoryChangeable && code->m_wMessageNumber >= 1 &&
      pdb::get_nv(nv::dmsMessageStatus(code->m_wMessageNumber - 1u)) != kMessageValid) {
    monitor_printf_debug("status of %d not valid\r\n", code->m_wMessageNumber - 1);
    BlankCode(code, SWITCH_PRIORITY);
  }
  return true;
}

bool CIO_BasedPeripheral::IsCurrentMessage(const CMsgActivationCode& code) const {
  if (!g_pDataBase) return false;
  uint32_t length = 0;
  const uint8_t* s = g_pDataBase->GetString(nv::dmsMsgTableSource.offset, 4, g_pDataBase->mib_nv, &length);
  if (!s || length != MSG_ID_CODE_SIZE) return false;
  CMsgIDCode id;
  id.Decode(s, length);
  return id.m_byMemoryType == code.m_byMemoryType && id.m_wMessageNumber == code.m_wMessageNumber;
}

// ---------------------------------------------------------------- inputs

void CIO_BasedPeripheral::OnInput() {
  if (m_Bridge.LastReplyCode(m_dwFirstNode) != CAN_REPLY_INPUTS) return;
  m_byState = PERIPHERAL_VALID;
  switch (m_wTypeId) {
    case TYPE_SWITCH_BINARY:
      if (!m_byPriorityMode) InputBinary();
      break;
    case TYPE_SWITCH_BINARY_ACT:
      InputBinaryActivate();
      break;
    case TYPE_SWITCH_BCD_ACT:
      InputBcdActivate();
      break;
    case TYPE_SWITCH_BCD:
      InputBcd();
      break;
    default:
      break;
  }
}

void CIO_BasedPeripheral::InputBinary() {
  const uint32_t levels = Levels();
  m_byChannelCount = m_Bridge.CountChannels(m_dwFirstNode);
  if (m_bySubState == 0) {
    uint32_t highest = 0;
    if (count_active(levels, m_byChannelCount, &highest) != 1) return;
    m_dwSelected = highest;
    if (Activate(highest, m_dwOffset)) m_bySubState = 1;
  } else if (m_byMomentary) {
    m_bySubState = 0;
  } else if (levels >> m_dwSelected & 1) {
    WriteBlank();
    m_bySubState = 0;
  }
}

void CIO_BasedPeripheral::InputBinaryActivate() {
  const uint32_t levels = Levels();
  const uint32_t n = m_byChannelCount = m_Bridge.CountChannels(m_dwFirstNode);
  if (n == 0) return;
  const bool released = levels >> (n - 1) & 1;
  if (m_bySubState == 0) {
    if (released) return;
    uint32_t highest = 0;
    if (count_active(levels, n - 1, &highest) != 1 || highest >= SWITCH_ENTRIES) return;
    m_dwSelected = highest;
    if (Activate(highest, 0)) m_bySubState = 1;
  } else if (released) {
    WriteBlank();
    m_bySubState = 0;
  }
}

void CIO_BasedPeripheral::InputBcdActivate() {
  const uint32_t levels = Levels();
  const uint32_t n = m_byChannelCount = m_Bridge.CountChannels(m_dwFirstNode);
  if (n == 0) return;
  const bool released = levels >> (n - 1) & 1;
  if (m_bySubState == 0) {
    if (released) return;
    const uint32_t value = active_bits(levels, n - 1);
    if (value >= SWITCH_ENTRIES) return;
    m_dwLastNumber = value + 1;
    if (Activate(value, 0)) m_bySubState = 1;
  } else if (released) {
    monitor_printf_debug("switch to wait for activate\n");
    m_bySubState = 0;
  }
}

void CIO_BasedPeripheral::InputBcd() {
  const uint32_t levels = Levels();
  m_byChannelCount = m_Bridge.CountChannels(m_dwFirstNode);
  const uint32_t value = active_bits(levels, m_byChannelCount);
  if (!m_byMomentary) {
    if (value == m_dwSelected) return;
    m_dwSelected = value;
    if (value < SWITCH_ENTRIES) Activate(value, m_dwOffset);
    return;
  }
  if (m_bySubState == 0) {
    if (value == 0) return;
    m_dwSelected = value - 1;
    if (m_dwSelected < SWITCH_ENTRIES) {
      Activate(m_dwSelected, m_dwOffset);
      m_bySubState = 1;
    }
  } else if (value == 0) {
    m_bySubState = 0;
  }
}

// ---------------------------------------------------------------- polls

void CIO_BasedPeripheral::Poll() {
  if (m_byState <= PERIPHERAL_READING) return;
  DCIO* board = m_Bridge.Board();
  m_byState = board ? board->m_byState : static_cast<uint8_t>(PERIPHERAL_COMM_ERROR);
  const uint16_t t = m_wTypeId;
  if (IsSurge(t))
    PollSurge();
  else if (IsFlow(t))
    PollFlow();
  else if (t == TYPE_FAULT_LED)
    PollFaultLed();
  else if (t == TYPE_CURRENT_MESSAGE)
    PollCurrentMessage();
  else if (t == TYPE_FLOW_POWER_SENSE || t == TYPE_RPM_POWER_SENSE)
    PollPowerSense();
  else if (t == TYPE_SWITCH_BINARY && m_byPriorityMode)
    PollPriority();
  else if (t == TYPE_BLANK_SWITCH)
    PollBlankSwitch();
  else if (t == TYPE_BLANK_INDICATOR)
    PollBlankIndicator();
  m_Bridge.Process();
}

void CIO_BasedPeripheral::PollSurge() {
  if (Levels() != 0) {
    if (m_byDebounce > 0) {
      --m_byDebounce;
      return;
    }
    if (m_iStatusRow >= 0) CPeripheral::SetStatusValue(static_cast<uint32_t>(m_iStatusRow), 0);
    if (m_bSupplyRegistered) {
      g_power_supply_table.SetPowerSupplyError(m_wSupplyId, 3, "SURGE FAILED");
      g_power_supply_table.SetPowerSupplyVoltage(m_wSupplyId, 0);
    }
    m_bySubState = 1;
    return;
  }
  if (m_iStatusRow >= 0) CPeripheral::SetStatusValue(static_cast<uint32_t>(m_iStatusRow), 1);
  if (m_bSupplyRegistered) g_power_supply_table.ClearPowerSupplyError(m_wSupplyId, "SURGE PASSED");
  m_byDebounce = DEBOUNCE;
  m_bySubState = 0;
}

void CIO_BasedPeripheral::PollFaultLed() {
  const uint32_t status = g_pPeripheralTask ? g_pPeripheralTask->StatusWord() : 0;
  const uint8_t run = g_pPeripheralTask ? g_pPeripheralTask->RunState() : 1;
  const uint32_t errors = pdb::get_v(vol::shortErrorStatus);
  if (status & CPeripheralTask::STATUS_SHUTDOWN) m_Bridge.Set(m_dwFirstNode, 1);
  if (m_bySubState != 1) {
    m_Bridge.Set(m_dwFirstNode, 2);
    if (errors != 0 || run == 2) m_bySubState = 1;
  } else {
    m_Bridge.Set(m_dwFirstNode, 1);
    if (errors == 0 && run == 1) m_bySubState = 2;
  }
}

void CIO_BasedPeripheral::PollCurrentMessage() {
  if (!g_pDataBase) return;
  uint32_t length = 0;
  const uint8_t* s = g_pDataBase->GetString(nv::dmsMsgTableSource.offset, 4, g_pDataBase->mib_nv, &length);
  CMsgIDCode id;
  if (!s || !id.Decode(s, length)) return;
  m_dwLastNumber = id.m_wMessageNumber;
  m_Bridge.Set(m_dwFirstNode, id.m_wMessageNumber - 1u);
}

void CIO_BasedPeripheral::PollPowerSense() {
  const bool present = Levels() == 0;
  if (present)
    m_bySubState = 1;
  else if (m_bySubState == 1 || m_bySubState == 0)
    m_bySubState = 2;
}

void CIO_BasedPeripheral::PollFlow() {
  const bool pairs = (pdb::get_nv(nv::quorSpecialFeatureSet) & 0x10) != 0;
  const bool even = (m_wTypeId % 2) == 0;
  const bool level_open = Levels() != 0;
  m_byCheckAirflow = 0;
  if (CIO_BasedPeripheral* sense = live_io(TYPE_FLOW_POWER_SENSE)) {
    if (sense->SubState() == 1) {
      m_byCheckAirflow = 1;
      CPeripheral::SetClimateRowByteA(m_iClimateRow, 0);
    }
    if (CPeripheral::GetClimateRowByteB(m_iClimateRow) == 3) {
      CPeripheral::SetClimateRowByteB(m_iClimateRow, 4);
      CPeripheral::SetClimateRowText(m_iClimateRow, "CLIMATE CONTROL IS NOT ELECTRONICALLY CONTROLLED");
    }
  }
  auto* fans = dynamic_cast<CFanIO*>(live_peripheral(PTYPE_INTAKE_FAN_CONTROL));
  if (fans) {
    if (m_byFlowState == 3) {
      if (pdb::global_time() > m_dwTestEnd) {
        CPeripheral::SetClimateRowByteA(m_iClimateRow, 0);
        m_byDebounce = DEBOUNCE;
        m_byFlowState = 2;
        CPeripheral::SetClimateRowByteB(m_iClimateRow, 2);
        if (!m_byNoAirflowInTest) {
          CPeripheral::ClearFanBitmapBit(m_iFanRow, m_iClimateRow, "INTAKE FAN AND FILTER DIAGNOSTICS PASSED");
          m_bySubState = 0;
        } else {
          CPeripheral::SetFanBitmapBit(m_iFanRow, m_iClimateRow, "INTAKE FAN AND FILTER DIAGNOSTICS FAILED");
          m_bySubState = 1;
        }
      }
      if (fans->IsCommandedOn()) {
        if (level_open) {
          if (m_byDebounce > 0) {
            --m_byDebounce;
          } else {
            if (m_iStatusRow >= 0) CPeripheral::SetStatusValue(static_cast<uint32_t>(m_iStatusRow), 0);
            m_byNoAirflowInTest = 1;
          }
        } else {
          if (m_iStatusRow >= 0) CPeripheral::SetStatusValue(static_cast<uint32_t>(m_iStatusRow), 1);
          m_byNoAirflowInTest = 0;
          m_byDebounce = DEBOUNCE;
        }
      }
    } else {
      if (m_iClimateRow >= 0 && CPeripheral::GetClimateRowByteB(m_iClimateRow) == 3) {
        bool start = !pairs;
        if (pairs) {
          const uint16_t partner_type = static_cast<uint16_t>(even ? m_wTypeId + 1 : m_wTypeId - 1);
          CIO_BasedPeripheral* partner = live_io(partner_type);
          if (!partner || partner->GetFlowState() != 3) {
            start = true;
            fans->SetRunReason(even ? 0 : 1);
          }
        }
        if (start) {
          m_byFlowState = 3;
          m_dwTestEnd = pdb::global_time() + FLOW_TEST_SECONDS;
          CPeripheral::SetClimateRowByteA(m_iClimateRow, 1);
          m_byNoAirflowInTest = 0;
        }
      }
      if (m_byFlowState != 3 && fans->IsCommandedOn()) {
        if (!pairs)
          m_byCheckAirflow = 1;
        else if (even ? fans->RunReason() == 1 : fans->RunReason() != 1)
          m_byCheckAirflow = 1;
      }
    }
  }
  if (m_byFlowState == 3) return;
  if (!m_byCheckAirflow) {
    m_byDebounce = DEBOUNCE;
    CPeripheral::SetClimateRowByteA(m_iClimateRow, 0);
    return;
  }
  CPeripheral::SetClimateRowByteA(m_iClimateRow, 1);
  if (level_open) {
    if (m_byDebounce > 0) {
      --m_byDebounce;
      return;
    }
    if (m_iStatusRow >= 0) CPeripheral::SetStatusValue(static_cast<uint32_t>(m_iStatusRow), 0);
    if (!m_byNoAirflowInTest) {
      m_bySubState = 1;
      CPeripheral::SetFanBitmapBit(m_iFanRow, m_iClimateRow, "INTAKE FAN AND FILTER DIAGNOSTICS FAILED");
    }
    return;
  }
  if (m_iStatusRow >= 0) CPeripheral::SetStatusValue(static_cast<uint32_t>(m_iStatusRow), 1);
  if (m_bySubState != 0) {
    m_bySubState = 0;
    CPeripheral::ClearFanBitmapBit(m_iFanRow, m_iClimateRow, "INTAKE FAN AND FILTER DIAGNOSTICS PASSED");
  }
  m_byDebounce = DEBOUNCE;
}

void CIO_BasedPeripheral::PollPriority() {
  CMsgActivationCode code;
  if (!BuildLevelActivation(&code)) return;
  if (code.m_byPriority < pdb::get_nv(nv::currentBufferRunTimePriority)) return;
  if (IsCurrentMessage(code)) return;
  if (code.m_byMemoryType == kMemoryBlank) {
    if (m_dwBlankCountdown > 0) --m_dwBlankCountdown;
    if (m_dwBlankCountdown == 0) WriteActivation(code);
    return;
  }
  WriteActivation(code);
  m_dwBlankCountdown = m_dwBlankDelay;
}

void CIO_BasedPeripheral::PollBlankSwitch() {
  const bool pressed = (Levels() & 1) == 0;
  switch (m_bySubState) {
    case 0:
      if (m_byDebounce > 0) {
        --m_byDebounce;
        return;
      }
      if (pressed) m_bySubState = 1;
      return;
    case 1:
      m_bySubState = pressed ? 2 : 0;
      return;
    case 2: {
      if (!pressed) {
        m_bySubState = 0;
        return;
      }
      CMsgActivationCode code;
      BlankCode(&code, 255);
      peripheral_trap_binding bindings[2];
      peripheral_trap_origin origin;
      const uint32_t count = peripheral_trap_origin_bindings(bindings, &origin);
      peripheral_send_trap(TRAP_ENTERPRISE_SPECIFIC, TRAP_BLANK_SWITCH, count, bindings);
      WriteActivation(code);
      if (CIO_BasedPeripheral* lamp = live_io(TYPE_BLANK_INDICATOR)) lamp->SetSubState(1);
      m_bySubState = 3;
      return;
    }
    case 3:
      if (!pressed) m_bySubState = 0;
      return;
    default:
      m_bySubState = 0;
      return;
  }
}

void CIO_BasedPeripheral::PollBlankIndicator() {
  if (m_bySubState == 1) {
    m_Bridge.Set(m_dwFirstNode, 0);
    m_bySubState = 2;
  } else if (m_bySubState == 2) {
    if (pdb::get_nv(nv::dmsMsgSourceMode) != kSourceExternal) m_bySubState = 0;
  } else {
    m_Bridge.Set(m_dwFirstNode, 1);
  }
}
