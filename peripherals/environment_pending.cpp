// The parts of the task step whose own work is not built yet: the
// environment summaries (temperatures, light level, humidity and the
// over-temperature protection) and auto-detection. Each does what the
// climate evaluators need of it until its work replaces it.
#include "peripherals/pdb.h"
#include "peripherals/peripheral_task.h"

void CPeripheralTask::EvaluateTemperatures() {
  // Without temperature sensors no sign temperature is valid; a fan or
  // heater test still runs the evaluators.
  if (pdb::get_nv(nv::nvdotFanTest) == 1 || pdb::get_nv(nv::nvdotHeaterTest) == 1) RunClimateEvaluators(0);
}

void CPeripheralTask::EvaluateLightLevel() {}

void CPeripheralTask::EvaluateHumidityPresence() { RunClimateEvaluators(0); }

void CPeripheralTask::AutoDetectStep(uint8_t start) {
  // No detection can run yet: a request ends at once.
  (void)start;
  m_byAutoDetectState = DETECT_IDLE;
}
