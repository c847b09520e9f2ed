#include "peripherals/devices/can_peripheral.h"

#include "frame/can/can_core.h"
#include "frame/trace/trace.h"
#include "peripherals/peripheral_can.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/peripheral_types.h"
#include "peripherals/pl_mediator.h"

can_peripheral::can_peripheral(uint8_t class_code, uint16_t type_id, uint32_t selector, uint32_t address,
                               uint32_t bus)
    : CPeripheral(class_code, type_id) {
  m_busNumber = static_cast<uint8_t>(selector);
  set_bus_name(can_driver_name(selector));
  set_address(address);
  set_channel(static_cast<uint8_t>(bus));
}

can_peripheral::~can_peripheral() {
  if (can_core* core = hub()) core->unregister_device(this);
}

void can_peripheral::ShowStatus() {
  CPeripheral::ShowStatus();
  can_core::print_counters(*this);
}

uint32_t can_peripheral::RegisterCan() {
  set_name(peripheral_name_of_type(m_wTypeId));
  can_core* core = peripheral_can_hub();
  return core && core->register_device(this) ? 1 : 0;
}

can_packet can_peripheral::Command(uint32_t address, uint8_t command, const uint8_t* rest, uint32_t count) {
  can_packet p;
  p.id = address;
  p.flags = CAN_FLAG_DATA;
  p.length = kFrameLength;
  p.data[0] = command;
  p.data[1] = 0x01;
  p.data[2] = 0x01;
  for (uint32_t i = 0; rest && i < count && i < 5; ++i) p.data[3 + i] = rest[i];
  return p;
}

uint32_t can_peripheral::SendCommand(uint8_t command, const uint8_t* rest, uint32_t count) {
  return send(Command(address(), command, rest, count));
}

bool can_peripheral::WellFormed(const can_packet& p, const char* who) const {
  if (p.id != address() + CAN_REPLY_OFFSET) {
    monitor_printf_debug("%s: reply from %X dropped\n", who, static_cast<unsigned>(p.id));
    return false;
  }
  if (p.length != kFrameLength) {
    monitor_printf_debug("%s: reply of %u bytes dropped\n", who, static_cast<unsigned>(p.length));
    return false;
  }
  return true;
}

uint32_t can_peripheral::NextReply(can_packet* reply) {
  while (read(reply)) {
    if (WellFormed(*reply, "can_peripheral::NextReply")) return 1;
  }
  return 0;
}

CPeripheral* live_peripheral(uint16_t type_id) {
  return g_pPeripheralTask ? g_pPeripheralTask->GetPeripheral(type_id) : nullptr;
}

int register_status_row(CPeripheral* p, uint32_t* row, uint32_t port_type, uint8_t direction, uint8_t resolution,
                        bool builtin) {
  aux_index_list list;
  bool have_list = false;
  if (builtin) {
    *row = CPeripheral::kRowBuiltin;
  } else {
    have_list = CPeripheral::GetAuxIOIndexList(p->m_wConfigSlot, &list) != 0;
    *row = have_list && list.count ? list.rows[0] : CPeripheral::kRowAny;
  }
  if (!CPeripheral::RegisterStatus(row, port_type, direction, resolution, "%s", p->TypeName())) return 0;
  if (!builtin && have_list) {
    if (list.count)
      list.rows[0] = *row;
    else
      list.Append(*row);
    CPeripheral::SetAuxIOIndexList(p->m_wConfigSlot, &list);
  }
  return 1;
}

bool peripheral_tables_live() { return !pl_mediator::Abandoning(); }
