#include "peripherals/devices/sensor_ops.h"

#include "peripherals/devices/fan_rpm.h"
#include "peripherals/devices/humidity_light.h"
#include "peripherals/devices/temperature.h"
#include "peripherals/peripheral_hooks.h"

namespace {

void apply_shut_off_temp(CPeripheral* p) {
  if (CTemperature* t = dynamic_cast<CTemperature*>(p)) t->ApplyShutOffTemp();
}

bool rpm_test_running(CPeripheral* p) {
  CFanRPM* s = dynamic_cast<CFanRPM*>(p);
  return s && s->IsTestRunning();
}

bool temperature(CPeripheral* p, int8_t* celsius) {
  CTemperature* t = dynamic_cast<CTemperature*>(p);
  if (!t || !celsius) return false;
  *celsius = t->Reading();
  return true;
}

bool light_output_level(CPeripheral* p, uint16_t* level) {
  CLight* l = dynamic_cast<CLight*>(p);
  if (!l || !level) return false;
  *level = l->GetOutputLevel();
  return true;
}

const peripheral_device_ops kOps = {apply_shut_off_temp, rpm_test_running, nullptr, temperature, light_output_level};

}  // namespace

const peripheral_device_ops* sensor_device_ops() { return &kOps; }

void install_sensor_device_ops() { peripheral_set_device_ops(&kOps); }
