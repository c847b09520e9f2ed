#include "peripherals/devices/door_sensor.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "database/objects.h"
#include "frame/peripheral/peripheral_trap.h"
#include "peripherals/devices/can_peripheral.h"
#include "peripherals/pdb.h"

namespace {

struct door_type {
  uint16_t type;
  const char* name;
};

const door_type kDoorTypes[] = {
    {30, "DOOR SWITCH 1"},       {31, "DOOR SWITCH 2"},       {32, "DOOR SWITCH 3"},
    {33, "DOOR SWITCH 4"},       {34, "DOOR SWITCH 5"},       {35, "DOOR SWITCH 6"},
    {36, "DOOR SWITCH 7"},       {37, "DOOR SWITCH 8"},       {180, "DOOR SWITCH LINE 1"},
    {181, "DOOR SWITCH LINE 2"}, {182, "DOOR SWITCH LINE 3"}, {183, "DOOR SWITCH LINE 4"},
    {184, "DOOR SWITCH LINE 5"}, {185, "DOOR SWITCH LINE 6"},
};

void clear_error_if_all_closed() {
  if (pdb::get_v(vol::dmsStatDoorOpen) == 0)
    pdb::set_v(vol::shortErrorStatus, pdb::get_v(vol::shortErrorStatus) & ~uint32_t{CDoorSensor::ERROR_DOOR_OPEN});
}

void set_status_bit(bool on) {
  const uint32_t bits = pdb::get_v(vol::vestrelStatusBits);
  pdb::set_v(vol::vestrelStatusBits,
             on ? bits | CDoorSensor::STATUS_DOOR_OPEN : bits & ~CDoorSensor::STATUS_DOOR_OPEN);
}

}  // namespace

uint8_t CDoorSensor::s_byCount = 0;

CDoorSensor::CDoorSensor(uint16_t type_id) : CPeripheral(CLASS_CODE, type_id) { ++s_byCount; }

CDoorSensor::~CDoorSensor() {
  --s_byCount;
  // No input report reaches an object on its way out.
  m_Bridge.Detach();
  if (!peripheral_tables_live()) return;
  SetDoorBit(false);
  clear_error_if_all_closed();
  if (m_iStatusRow >= 0) CPeripheral::UnregisterStatus(static_cast<uint32_t>(m_iStatusRow));
  m_iStatusRow = -1;
  if (m_dwNodeId) m_Bridge.UnRegister(m_dwNodeId);
  m_dwNodeId = 0;
}

const char* CDoorSensor::NameOfType(uint16_t type_id) {
  for (const door_type& t : kDoorTypes)
    if (t.type == type_id) return t.name;
  return nullptr;
}

uint16_t CDoorSensor::TypeOfName(const char* name) {
  if (!name) return 0;
  for (const door_type& t : kDoorTypes)
    if (std::strcmp(t.name, name) == 0) return t.type;
  return 0;
}

CPeripheral* CDoorSensor::Create(const pl_record& record) {
  if (!NameOfType(record.type_id)) return nullptr;
  CPeripheral::ParseParameters(record.parameters);
  const uint32_t point = CPeripheral::s_dwParamValues[0];
  const uint16_t board_type = static_cast<uint16_t>(CPeripheral::s_dwParamValues[1]);
  CPeripheral* board = live_peripheral(board_type);
  CDoorSensor* p = new (std::nothrow) CDoorSensor(record.type_id);
  if (!p) return nullptr;
  p->m_wPollInterval = POLL_INTERVAL;
  p->m_wPollCountdown = static_cast<uint16_t>(std::rand() % POLL_INTERVAL);
  p->m_wConfigSlot = record.slot;
  p->m_byFromDatabase = 1;
  // A point past a byte's range would alias a real one once narrowed.
  if (point > 0xFF || !p->Init(static_cast<uint8_t>(point), board)) {
    delete p;
    return nullptr;
  }
  p->SetEnabled(1);
  return p;
}

bool CDoorSensor::Init(uint8_t point, CPeripheral* board) {
  // Every creation resets the door picture; the sensors report again at
  // their next input report.
  pdb::set_v(vol::dmsStatDoorOpen, 0);
  pdb::set_v(vol::shortErrorStatus, pdb::get_v(vol::shortErrorStatus) & ~uint32_t{ERROR_DOOR_OPEN});
  m_byDoorNumber = s_byCount;
  if (!board) {
    m_byState = PERIPHERAL_INIT_ERROR;
    return false;
  }
  m_Bridge.Init(board->m_wTypeId, this);
  uint32_t channels = 0;
  dcio_bridge::ChannelMask(point, &channels, true);
  // An empty mask (a point outside 24..55) is refused by the bridge.
  m_dwNodeId = channels ? m_Bridge.Register(interface_cfg(channels, 0, 0, 0)) : 0;
  uint32_t row = 0;
  if (!register_status_row(this, &row, PORT_DIGITAL, DIR_INPUT, 1)) {
    m_byState = PERIPHERAL_INIT_ERROR;
    return false;
  }
  m_iStatusRow = static_cast<int32_t>(row);
  if (!m_dwNodeId) {
    m_byState = PERIPHERAL_INIT_ERROR;
    return false;
  }
  m_byState = PERIPHERAL_READING;
  return true;
}

uint8_t CDoorSensor::DoorBit() const {
  return m_byDoorNumber >= 1 && m_byDoorNumber <= 8 ? static_cast<uint8_t>(1u << (m_byDoorNumber - 1)) : 0;
}

void CDoorSensor::SetDoorBit(bool open) {
  const uint8_t bit = DoorBit();
  if (!bit) return;
  const uint32_t map = pdb::get_v(vol::dmsStatDoorOpen);
  pdb::set_v(vol::dmsStatDoorOpen, open ? (map | bit) : (map & ~uint32_t{bit}));
}

void CDoorSensor::OpenActions(bool trap) {
  peripheral_trap_binding bindings[2];
  peripheral_trap_origin origin;
  uint32_t count = 0;
  if (trap) count = peripheral_trap_origin_bindings(bindings, &origin);
  SetDoorBit(true);
  pdb::set_v(vol::shortErrorStatus, pdb::get_v(vol::shortErrorStatus) | ERROR_DOOR_OPEN);
  if (trap) peripheral_send_trap(TRAP_ENTERPRISE_SPECIFIC, TRAP_DOOR_OPEN, count, bindings);
  if (m_iStatusRow >= 0) CPeripheral::SetStatusValue(static_cast<uint32_t>(m_iStatusRow), 1);
  set_status_bit(true);
  m_byDoorState = DOOR_OPEN;
}

void CDoorSensor::CloseActions() {
  SetDoorBit(false);
  clear_error_if_all_closed();
  if (m_iStatusRow >= 0) CPeripheral::SetStatusValue(static_cast<uint32_t>(m_iStatusRow), 0);
  set_status_bit(false);
  m_byDoorState = DOOR_CLOSED;
}

void CDoorSensor::OnInput() {
  m_byState = PERIPHERAL_VALID;
  if (!m_dwNodeId) return;
  const bool open = m_Bridge.Get(m_dwNodeId, 0) != 0;
  switch (m_byDoorState) {
    case DOOR_CLOSED:
      if (open) OpenActions(true);
      break;
    case DOOR_OPEN:
      if (!open) CloseActions();
      break;
    default:
      if (open)
        OpenActions(true);
      else
        CloseActions();
      break;
  }
}

void CDoorSensor::Poll() {
  if (m_byState < PERIPHERAL_READING) return;
  DCIO* board = m_Bridge.Board();
  if (board && board->m_byState == PERIPHERAL_COMM_ERROR) {
    // Fail-safe: a door behind a silent board counts as open, but the
    // private status bit shows only doors a live sensor reports open.
    m_byState = PERIPHERAL_COMM_ERROR;
    if (m_iStatusRow >= 0) CPeripheral::SetStatusValue(static_cast<uint32_t>(m_iStatusRow), 1);
    SetDoorBit(true);
    set_status_bit(false);
    m_byDoorState = DOOR_OPEN;
    pdb::set_v(vol::shortErrorStatus, pdb::get_v(vol::shortErrorStatus) | ERROR_DOOR_OPEN);
    return;
  }
  m_Bridge.Process();
}
