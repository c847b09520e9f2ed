#include "peripherals/pl_factory.h"

#include "database/files/file_config.h"
#include "database/files/file_directory.h"
#include "database/files/file_manager.h"
#include "database/files/file_monrc.h"
#include "peripherals/clock.h"
#include "peripherals/peripheral_types.h"

// One row per class, in registration order. A device driver joins by
// putting its class's Create here in place of the null.
const pl_creator peripheral_factory_table[] = {
    {PCLASS_BEACON, nullptr},
    {PCLASS_BEACON_IO, nullptr},
    {PCLASS_CLOCK, CClock::Create},
    {PCLASS_CTRL_PRIMARY, nullptr},
    {PCLASS_CTRL_SECONDARY, nullptr},
    {PCLASS_DCIO, nullptr},
    {PCLASS_CAN_PRODUCT_BOARD, nullptr},
    {PCLASS_DOOR, nullptr},
    {PCLASS_FAN_CONTROL, nullptr},
    {PCLASS_FAN_STATUS, nullptr},
    {PCLASS_FAN_RPM, nullptr},
    {PCLASS_FILE_CONFIG, CFile_Config::Create},
    {PCLASS_FILE_DIRECTORY, CFile_Directory::Create},
    {PCLASS_FILE_MONRC, CFile_Monrc::Create},
    {PCLASS_FILE_MANAGER, CFile_Manager::Create},
    {PCLASS_FILE_SCRIPT, nullptr},
    {PCLASS_GP_OUTPUT, nullptr},
    {PCLASS_HEATER_CONTROL, nullptr},
    {PCLASS_HEATER_STATUS, nullptr},
    {PCLASS_HUMIDITY, nullptr},
    {PCLASS_IO_BASED, nullptr},
    {PCLASS_LCD_MANAGER, nullptr},
    {PCLASS_LIGHT, nullptr},
    {PCLASS_LOW_POWER, nullptr},
    {PCLASS_ISOLATION, nullptr},
    {PCLASS_LVDB, nullptr},
    {PCLASS_MODEM, nullptr},
    {PCLASS_MINI_DCIO, nullptr},
    {PCLASS_OVERHEIGHT, nullptr},
    {PCLASS_RTD, nullptr},
    {PCLASS_TEMPERATURE, nullptr},
    {PCLASS_UPS, nullptr},
    {PCLASS_UPS_INTERNAL, nullptr},
};
const uint32_t peripheral_factory_table_size = sizeof peripheral_factory_table / sizeof peripheral_factory_table[0];

int pl_factory::Register(const pl_creator* row) {
  if (!row || m_uCount >= kCapacity) return 0;
  m_apRows[m_uCount++] = row;
  return 1;
}

int pl_factory::Create(const pl_record& record, CPeripheral** out) const {
  for (uint32_t i = 0; i < m_uCount; ++i) {
    const pl_creator* row = m_apRows[i];
    if (row->class_code != record.class_code || !row->create) continue;
    CPeripheral* p = row->create(record);
    if (out) *out = p;
    return p ? 1 : 0;
  }
  return 0;
}

void peripheral_register_factories(pl_factory* factory) {
  if (!factory) return;
  for (uint32_t i = 0; i < peripheral_factory_table_size; ++i) factory->Register(&peripheral_factory_table[i]);
}
