// What the peripheral task asks of parts that are built elsewhere: the
// front panel's manager (type 70), device classes with operations of their
// own, and the display's module temperatures. Each owner installs its
// functions when it is built; a null function behaves as described beside
// it, which is what the task does while that part is missing.
#pragma once

#include <cstdint>

class CPeripheral;

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
};

// The display's module temperature table and module readings. Null: the
// table's defaults (stage 1 on at 32 C, stage 2 on at 49 C, stages not
// defined) and no module over temperature.
struct peripheral_display_ops {
  int32_t (*stage1_on)();
  int32_t (*stage2_on)();
  bool (*stages_defined)();
  bool (*modules_over_temperature)(int32_t limit);
};

void peripheral_set_panel_ops(const peripheral_panel_ops* ops);
void peripheral_set_device_ops(const peripheral_device_ops* ops);
void peripheral_set_display_ops(const peripheral_display_ops* ops);
// The installed tables; never null (an empty table when none is).
const peripheral_panel_ops& peripheral_panel();
const peripheral_device_ops& peripheral_devices();
const peripheral_display_ops& peripheral_display();

// The display's module temperature table, with the defaults applied.
int32_t module_temp_stage1_on();
int32_t module_temp_stage1_off();
int32_t module_temp_stage2_on();
int32_t module_temp_stage2_off();
bool module_temp_stages_defined();
bool modules_over_temperature(int32_t limit);
