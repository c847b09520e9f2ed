// The temperature limits of the display module types, looked up by the
// module type the sign's modules report (the subtype for gen4 modules):
// the two switching stages of the temperature control (3 degrees of
// hysteresis), the warning temperature, and the range the critical
// temperature setting may take. A type not in the table answers with the
// defaults (stages at 32 and 49, critical 85 to 110, no warning).
//
// The peripherals' own module_temp_* front ends take these through their
// display hooks; start-up installs them.
#pragma once

#include <cstdint>

struct module_temp_row {
  uint16_t type;
  uint16_t stage1_on;
  uint16_t stage2_on;
  uint16_t alt_stage1_on;
  uint16_t alt_stage2_on;
  uint16_t warning;
  uint16_t critical_min;
  uint16_t critical_max;  // degrees Celsius; 0: not given
};

namespace disp {

// The row of a module type; row 0 (all zeros) for a type not listed.
const module_temp_row& module_temp_row_of(uint32_t type);
// The row of the module type the modules report.
const module_temp_row& module_temp_limits_lookup();
int32_t module_temp_stage1_on();
int32_t module_temp_stage1_off();
int32_t module_temp_stage2_on();
int32_t module_temp_stage2_off();
bool module_temp_stages_defined();
bool module_temp_warning_defined();
int32_t module_temp_warning();
int32_t module_temp_critical_min();
int32_t module_temp_critical_max();

}  // namespace disp
