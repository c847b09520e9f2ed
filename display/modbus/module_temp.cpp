#include "display/modbus/module_temp.h"

#include "display/modbus/diag_ksr7100.h"

namespace {

constexpr int32_t kStage1Default = 32;
constexpr int32_t kStage2Default = 49;
constexpr int32_t kHysteresis = 3;
constexpr int32_t kCriticalMinDefault = 85;
constexpr int32_t kCriticalMaxDefault = 110;

// type, stage 1, stage 2, alternate stage 1, alternate stage 2, warning,
// critical minimum, critical maximum.
const module_temp_row kRows[25] = {
    {0, 0, 0, 0, 0, 0, 0, 0},
    {91, 60, 75, 0, 0, 88, 80, 90},
    {92, 60, 75, 0, 0, 88, 80, 90},
    {93, 60, 75, 0, 0, 85, 80, 90},
    {94, 60, 75, 0, 0, 85, 80, 90},
    {100, 0, 0, 0, 0, 90, 85, 110},
    {101, 0, 0, 0, 0, 90, 85, 110},
    {102, 0, 0, 0, 0, 90, 85, 110},
    {103, 0, 0, 0, 0, 90, 85, 110},
    {104, 0, 0, 0, 0, 88, 80, 90},
    {105, 0, 0, 0, 0, 85, 80, 90},
    {110, 0, 0, 50, 50, 103, 95, 105},
    {113, 60, 75, 0, 0, 85, 80, 90},
    {115, 60, 75, 0, 0, 85, 80, 90},
    {117, 60, 75, 0, 0, 85, 80, 90},
    {120, 60, 75, 0, 0, 85, 80, 90},
    {121, 60, 75, 0, 0, 85, 80, 90},
    {122, 0, 0, 0, 0, 85, 80, 90},
    {123, 0, 0, 0, 0, 85, 80, 90},
    {127, 60, 75, 0, 0, 85, 80, 90},
    {129, 60, 75, 0, 0, 85, 80, 90},
    {131, 60, 75, 0, 0, 88, 80, 90},
    {133, 60, 75, 0, 0, 88, 80, 90},
    {135, 60, 75, 0, 0, 85, 80, 90},
    {136, 60, 75, 0, 0, 85, 80, 90},
};

}  // namespace

namespace disp {

const module_temp_row& module_temp_row_of(uint32_t type) {
  // Type 0 is no module type: it finds row 0 like any unlisted one.
  for (uint32_t i = 1; i < sizeof kRows / sizeof kRows[0]; ++i)
    if (kRows[i].type == type) return kRows[i];
  return kRows[0];
}

const module_temp_row& module_temp_limits_lookup() {
  return module_temp_row_of(g_diag_ksr7100.GetEffectiveModuleType());
}

int32_t module_temp_stage1_on() {
  const module_temp_row& r = module_temp_limits_lookup();
  return r.stage1_on ? r.stage1_on : r.alt_stage1_on ? r.alt_stage1_on : kStage1Default;
}

int32_t module_temp_stage1_off() { return module_temp_stage1_on() - kHysteresis; }

int32_t module_temp_stage2_on() {
  const module_temp_row& r = module_temp_limits_lookup();
  return r.stage2_on ? r.stage2_on : r.alt_stage2_on ? r.alt_stage2_on : kStage2Default;
}

int32_t module_temp_stage2_off() { return module_temp_stage2_on() - kHysteresis; }

bool module_temp_stages_defined() { return module_temp_limits_lookup().stage1_on != 0; }

bool module_temp_warning_defined() { return module_temp_limits_lookup().warning != 0; }

int32_t module_temp_warning() { return module_temp_limits_lookup().warning; }

int32_t module_temp_critical_min() {
  const module_temp_row& r = module_temp_limits_lookup();
  return r.critical_min ? r.critical_min : kCriticalMinDefault;
}

int32_t module_temp_critical_max() {
  const module_temp_row& r = module_temp_limits_lookup();
  return r.critical_max ? r.critical_max : kCriticalMaxDefault;
}

}  // namespace disp
