#include "panel/pages/aux_io_pages.h"

#include <new>

#include "database/database.h"
#include "database/objects.h"
#include "frame/peripheral/peripheral.h"
#include "panel/lcd_rights.h"
#include "panel/pages/page_classes.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/peripheral_types.h"

namespace {
constexpr CLCD_FactoryType kAuxIOType = 33;
}  // namespace

CLCD_AuxIOPortControl::CLCD_AuxIOPortControl(CLCD_MenuId id)
    : CLCD_SimpleWizardBase(id, "AUX I/O PORT CONTROL", "", LCD_RIGHT_PERIPHERALS) {
  m_Port.kind = WIZARD_CHOICE;
  m_Port.choice.title = "AUX I/O PORT CONTROL";
  m_Port.choice.choices = m_apszNames;
  m_Port.choice.per_page = 6;
  m_State.kind = WIZARD_NUMBER;
  m_State.number.title = "SET STATE";
  m_State.number.label = "VALID FROM 0->9";
  m_State.number.rule = "<10";
  m_State.number.line8 = "PRESS ENTER TO SAVE";
  AddItem(&m_Port);
  AddItem(&m_State);
}

uint32_t CLCD_AuxIOPortControl::BuildPorts() {
  uint32_t n = 0;
  for (const char*& name : m_apszNames) name = nullptr;
  for (uint16_t& type : m_awTypes) type = 0;
  if (!g_pPeripheralTask) return 0;
  pl_mediator& live = g_pPeripheralTask->Mediator();
  pl_mediator::cursor it = 0;
  CPeripheral* p = nullptr;
  for (int ok = live.FindFirst(kPortClass, &it, &p); ok && p && n < kPorts; ok = live.FindNext(kPortClass, &it, &p)) {
    m_awTypes[n] = p->m_wTypeId;
    m_apszNames[n] = peripheral_type_name(p->m_wTypeId);
    ++n;
  }
  return n;
}

void CLCD_AuxIOPortControl::Enter(CLCD_Manager* mgr) {
  CLCD_SimpleWizardBase::Enter(mgr);
  m_State.number.value = 0;
  BuildPorts();
}

bool CLCD_AuxIOPortControl::HasRights(CLCD_Manager* mgr) {
  if (!CLCD_SimpleWizardBase::HasRights(mgr)) return false;
  return BuildPorts() > 0;
}

void CLCD_AuxIOPortControl::Finish(CLCD_Manager*) {
  const uint32_t chosen = m_Port.choice.selected;
  CPeripheral* port = nullptr;
  if (chosen >= kPorts || !m_awTypes[chosen] || !g_pPeripheralTask || !g_pDataBase) return;
  if (!g_pPeripheralTask->Mediator().Find(m_awTypes[chosen], &port) || !port) return;
  // The port's row is the first of the rows its record keeps.
  aux_index_list rows;
  if (!CPeripheral::GetAuxIOIndexList(port->m_wConfigSlot, &rows) || rows.count == 0) return;
  if (rows.rows[0] >= CPeripheral::kStatusRows) return;
  const db_object value = vol::auxIOPortValue(rows.rows[0]);
  g_pDataBase->SetValue(value.offset, value.width, m_State.number.value, g_pDataBase->mib_v, DB_NOTIFY);
}

namespace {
CMenuItem* create_aux_io(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_AuxIOPortControl(id); }
}  // namespace

const class_descriptor g_aux_io_port_control_class = {kAuxIOType, create_aux_io};
