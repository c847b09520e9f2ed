#include "peripherals/pl_factory.h"

#include "comm/modem/modem.h"
#include "database/files/file_config.h"
#include "database/files/file_directory.h"
#include "database/files/file_manager.h"
#include "database/files/file_monrc.h"
#include "ntcip/script/file_script.h"
#include "peripherals/clock.h"
#include "peripherals/devices/can_product_board.h"
#include "peripherals/devices/controller_link.h"
#include "peripherals/devices/low_power_mode.h"
#include "peripherals/devices/lvdb.h"
#include "peripherals/devices/overheight.h"
#include "peripherals/devices/rtd_protocol.h"
#include "peripherals/devices/ups.h"
#include "peripherals/devices/ups_internal.h"
#include "peripherals/devices/dcio.h"
#include "peripherals/devices/acio.h"
#include "peripherals/devices/beacons.h"
#include "peripherals/devices/io_based.h"
#include "peripherals/devices/isolation.h"
#include "peripherals/devices/radar.h"
#include "peripherals/devices/door_sensor.h"
#include "peripherals/devices/fan_heater_io.h"
#include "peripherals/devices/fan_rpm.h"
#include "peripherals/devices/humidity_light.h"
#include "peripherals/devices/temperature.h"
#include "peripherals/peripheral_hooks.h"
#include "peripherals/peripheral_types.h"

// One row per class, in registration order. A device driver joins by
// putting its class's Create here in place of the null.
const pl_creator peripheral_factory_table[] = {
    {PCLASS_BEACON, CBeacon::Create},
    {PCLASS_BEACON_IO, CBeaconIO::Create},
    {PCLASS_CLOCK, CClock::Create},
    {PCLASS_CTRL_PRIMARY, controller_comm::Create},
    {PCLASS_CTRL_SECONDARY, ctrl_secondary::Create},
    {PCLASS_DCIO, DCIO::Create},
    {PCLASS_CAN_PRODUCT_BOARD, CCANDBPeripheral::Create},
    {PCLASS_DOOR, CDoorSensor::Create},
    {PCLASS_FAN_CONTROL, CFanIO::Create},
    {PCLASS_FAN_STATUS, CFanIO::Create},
    {PCLASS_FAN_RPM, CFanRPM::Create},
    {PCLASS_FILE_CONFIG, CFile_Config::Create},
    {PCLASS_FILE_DIRECTORY, CFile_Directory::Create},
    {PCLASS_FILE_MONRC, CFile_Monrc::Create},
    {PCLASS_FILE_MANAGER, CFile_Manager::Create},
    {PCLASS_FILE_SCRIPT, CFile_Script::Create},
    {PCLASS_GP_OUTPUT, CGeneralPurposeOutput::Create},
    {PCLASS_HEATER_CONTROL, CHeaterIO::Create},
    {PCLASS_HEATER_STATUS, CHeaterIO::Create},
    {PCLASS_HUMIDITY, CHumidity::Create},
    {PCLASS_IO_BASED, CIO_BasedPeripheral::Create},
    {PCLASS_LCD_MANAGER, nullptr},
    {PCLASS_LIGHT, CLight::Create},
    {PCLASS_LOW_POWER, CLowPowerMode::Create},
    {PCLASS_ISOLATION, CIsolationBoard::Create},
    {PCLASS_LVDB, CLVDB::Create},
    {PCLASS_MODEM, CModem::Create},
    {PCLASS_MINI_DCIO, DCIO::CreateMini},
    {PCLASS_OVERHEIGHT, COverheightDetector::Create},
    {PCLASS_RTD, CRTD_Protocol::Create},
    {PCLASS_TEMPERATURE, CTemperature::Create},
    {PCLASS_UPS, CUninterruptiblePowerSupply::Create},
    {PCLASS_UPS_INTERNAL, CUPS_Internal::Create},
    {PCLASS_RADAR, CRadar::Create},
    {PCLASS_ACIO, ACIO::Create},
    {PCLASS_AUX_BIDIRECT, CAuxIOBidirect::Create},
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
  // The front panel's class is built above this library; its creator comes
  // once the panel is installed.
  if (const pl_creator* panel = peripheral_panel_row()) factory->Register(panel);
}
