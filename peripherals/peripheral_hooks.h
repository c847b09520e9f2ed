// What the peripheral task asks of parts that are built elsewhere: the
// front panel's manager (type 70), device classes with operations of their
// own, and the display's module temperatures. Each owner installs its
// functions when it is built; a null function behaves as described beside
// it, which is what the task does while that part is missing.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "peripherals/pl_factory.h"

class CPeripheral;
class CSerialDriver;

// The front panel's manager and its LCD. `manager` is the live peripheral
// of type 70. Null: nothing.
struct peripheral_panel_ops {
  void (*lcd_suspend)(CPeripheral* manager);
  void (*lcd_resume)(CPeripheral* manager);
  void (*lcd_clear)(CPeripheral* manager);
  void (*lcd_backlight)(CPeripheral* manager, uint8_t on);
  void (*lcd_local_indicator_off)(CPeripheral* manager);
  // Text centred on a line 1..8.
  void (*lcd_print_centred)(CPeripheral* manager, uint32_t line, const char* text);
  // lcd_set_led (led, state).
  void (*set_led)(uint32_t led, uint32_t state);
  void (*open_remote)(CPeripheral* manager);
  void (*invalidate_file_menus)(CPeripheral* manager);
  // The manager's control-mode-changed flag (dmsControlMode changed).
  void (*control_mode_changed)(CPeripheral* manager);
  // The manager's power-good flag.
  void (*set_power_good)(CPeripheral* manager, uint8_t good);
};

// Operations of device classes. Null: nothing, or false.
struct peripheral_device_ops {
  // CTemperature::ApplyShutOffTemp of a live temperature sensor.
  void (*apply_shut_off_temp)(CPeripheral* sensor);
  // CFanRPM::IsTestRunning of a live RPM sensor.
  bool (*rpm_test_running)(CPeripheral* sensor);
  // CIO_BasedPeripheral::IsFlowTesting of a live flow sensor.
  bool (*flow_testing)(CPeripheral* sensor);
  // The current temperature (degrees Celsius) of a live CTemperature
  // sensor; false when the peripheral is not one. The environment summaries
  // ask only sensors that are valid.
  bool (*temperature)(CPeripheral* sensor, int8_t* celsius);
  // CLight::GetOutputLevel of a live light sensor; false when the
  // peripheral is not one.
  bool (*light_output_level)(CPeripheral* sensor, uint16_t* level);
};

// The display's module temperature table and module readings. Null: the
// table's defaults (stage 1 on at 32 C, stage 2 on at 49 C, stages not
// defined, no warning temperature); the modules and the brightness are
// asked of the display task's object (g_pDisplay) under its lock, and
// without one no module is over temperature and nothing is recomputed.
struct peripheral_display_ops {
  int32_t (*stage1_on)();
  int32_t (*stage2_on)();
  bool (*stages_defined)();
  bool (*modules_over_temperature)(int32_t limit);
  // Whether the module type has a warning temperature (the over-temperature
  // protection then asks the modules instead of the sign sensors).
  bool (*warning_defined)();
  // CDisplay::UpdateBrightness (forced) after the brightness limit changed.
  void (*update_brightness)();
};

// The comm-port drivers the peripherals borrow (the AUX serial port of the
// real-time data input). Null: AttainDriver / ReleaseDriver of the
// communication task's table.
struct peripheral_port_ops {
  CSerialDriver* (*attain)(uint32_t id);
  uint32_t (*release)(uint32_t id);
};

void peripheral_set_panel_ops(const peripheral_panel_ops* ops);
// The creator of the front panel's class (26), installed by the panel. The
// factory registers it after its table's rows; null: the class stays
// without a creator.
void peripheral_set_panel_creator(pl_create_function create);
CPeripheral* peripheral_panel_create(const pl_record& record);
// The factory row of the installed creator, or null.
const pl_creator* peripheral_panel_row();
void peripheral_set_device_ops(const peripheral_device_ops* ops);
void peripheral_set_display_ops(const peripheral_display_ops* ops);
void peripheral_set_port_ops(const peripheral_port_ops* ops);
// The installed tables; never null (an empty table when none is).
const peripheral_panel_ops& peripheral_panel();
const peripheral_device_ops& peripheral_devices();
const peripheral_display_ops& peripheral_display();
const peripheral_port_ops& peripheral_ports();

// The display's module temperature table, with the defaults applied.
int32_t module_temp_stage1_on();
int32_t module_temp_stage1_off();
int32_t module_temp_stage2_on();
int32_t module_temp_stage2_off();
bool module_temp_stages_defined();
bool module_temp_warning_defined();
// At least max(10 % of the modules, 2) report a temperature above the limit.
bool modules_over_temperature(int32_t limit);
// The display recomputes its brightness from the task's brightness limit.
void display_update_brightness();

// The comm-port drivers, through the installed port operations.
CSerialDriver* peripheral_attain_driver(uint32_t id);
uint32_t peripheral_release_driver(uint32_t id);
