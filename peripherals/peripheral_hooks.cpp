#include "peripherals/peripheral_hooks.h"

namespace {

const peripheral_panel_ops kNoPanel = {};
const peripheral_device_ops kNoDevices = {};
const peripheral_display_ops kNoDisplay = {};
const peripheral_panel_ops* s_panel = &kNoPanel;
const peripheral_device_ops* s_devices = &kNoDevices;
const peripheral_display_ops* s_display = &kNoDisplay;

constexpr int32_t kStage1On = 32;
constexpr int32_t kStage2On = 49;
constexpr int32_t kHysteresis = 3;

}  // namespace

void peripheral_set_panel_ops(const peripheral_panel_ops* ops) { s_panel = ops ? ops : &kNoPanel; }
void peripheral_set_device_ops(const peripheral_device_ops* ops) { s_devices = ops ? ops : &kNoDevices; }
void peripheral_set_display_ops(const peripheral_display_ops* ops) { s_display = ops ? ops : &kNoDisplay; }
const peripheral_panel_ops& peripheral_panel() { return *s_panel; }
const peripheral_device_ops& peripheral_devices() { return *s_devices; }
const peripheral_display_ops& peripheral_display() { return *s_display; }

int32_t module_temp_stage1_on() { return s_display->stage1_on ? s_display->stage1_on() : kStage1On; }
int32_t module_temp_stage1_off() { return module_temp_stage1_on() - kHysteresis; }
int32_t module_temp_stage2_on() { return s_display->stage2_on ? s_display->stage2_on() : kStage2On; }
int32_t module_temp_stage2_off() { return module_temp_stage2_on() - kHysteresis; }
bool module_temp_stages_defined() { return s_display->stages_defined && s_display->stages_defined(); }
bool modules_over_temperature(int32_t limit) {
  return s_display->modules_over_temperature && s_display->modules_over_temperature(limit);
}
