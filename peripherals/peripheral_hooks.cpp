#include "peripherals/peripheral_hooks.h"

#include "comm/ports.h"
#include "display/task/display.h"
#include "display/task/display_lock.h"
#include "peripherals/peripheral_types.h"

namespace {

const peripheral_panel_ops kNoPanel = {};
const peripheral_device_ops kNoDevices = {};
const peripheral_display_ops kNoDisplay = {};
const peripheral_port_ops kNoPorts = {};
const peripheral_panel_ops* s_panel = &kNoPanel;
const peripheral_device_ops* s_devices = &kNoDevices;
const peripheral_display_ops* s_display = &kNoDisplay;
const peripheral_port_ops* s_ports = &kNoPorts;

constexpr int32_t kStage1On = 32;
constexpr int32_t kStage2On = 49;
constexpr int32_t kHysteresis = 3;

// The display takes the limit as a signed byte: a limit beyond it is one no
// module can pass, and must not wrap round into one that every module does.
int8_t module_limit(int32_t limit) {
  if (limit > 127) return 127;
  if (limit < -128) return -128;
  return static_cast<int8_t>(limit);
}

}  // namespace

void peripheral_set_panel_ops(const peripheral_panel_ops* ops) { s_panel = ops ? ops : &kNoPanel; }

namespace {
pl_create_function s_panel_creator = nullptr;
pl_creator s_panel_row = {PCLASS_LCD_MANAGER, nullptr};
}  // namespace

void peripheral_set_panel_creator(pl_create_function create) {
  s_panel_creator = create;
  s_panel_row.create = create ? peripheral_panel_create : nullptr;
}
CPeripheral* peripheral_panel_create(const pl_record& record) {
  return s_panel_creator ? s_panel_creator(record) : nullptr;
}
const pl_creator* peripheral_panel_row() { return s_panel_creator ? &s_panel_row : nullptr; }
void peripheral_set_device_ops(const peripheral_device_ops* ops) { s_devices = ops ? ops : &kNoDevices; }
void peripheral_set_display_ops(const peripheral_display_ops* ops) { s_display = ops ? ops : &kNoDisplay; }
void peripheral_set_port_ops(const peripheral_port_ops* ops) { s_ports = ops ? ops : &kNoPorts; }
const peripheral_panel_ops& peripheral_panel() { return *s_panel; }
const peripheral_device_ops& peripheral_devices() { return *s_devices; }
const peripheral_display_ops& peripheral_display() { return *s_display; }
const peripheral_port_ops& peripheral_ports() { return *s_ports; }

int32_t module_temp_stage1_on() { return s_display->stage1_on ? s_display->stage1_on() : kStage1On; }
int32_t module_temp_stage1_off() { return module_temp_stage1_on() - kHysteresis; }
int32_t module_temp_stage2_on() { return s_display->stage2_on ? s_display->stage2_on() : kStage2On; }
int32_t module_temp_stage2_off() { return module_temp_stage2_on() - kHysteresis; }
bool module_temp_stages_defined() { return s_display->stages_defined && s_display->stages_defined(); }
bool module_temp_warning_defined() { return s_display->warning_defined && s_display->warning_defined(); }

bool modules_over_temperature(int32_t limit) {
  if (s_display->modules_over_temperature) return s_display->modules_over_temperature(limit);
  CDisplay* display = g_pDisplay;
  if (!display) return false;
  display_lock lock(display);
  return lock.ok() && display->ModulesOverTemperature(module_limit(limit));
}

void display_update_brightness() {
  if (s_display->update_brightness) {
    s_display->update_brightness();
    return;
  }
  CDisplay* display = g_pDisplay;
  if (!display) return;
  display_lock lock(display);
  if (lock.ok()) display->UpdateBrightness(true);
}

CSerialDriver* peripheral_attain_driver(uint32_t id) {
  return s_ports->attain ? s_ports->attain(id) : AttainDriver(id);
}

uint32_t peripheral_release_driver(uint32_t id) {
  return s_ports->release ? s_ports->release(id) : ReleaseDriver(id);
}
