#include "peripherals/peripheral_can.h"

#include "frame/trace/trace.h"
#include "peripherals/peripheral_task.h"

const char* can_driver_name(uint32_t bus_number) {
  switch (bus_number) {
    case CAN_BUS_SENSOR_A:
      return "CAN DB Driver";
    case CAN_BUS_SENSOR_C:
      return "CAN Control Panel Driver";
    case CAN_BUS_CONTROLLER:
      return "Q5 CONTROLLER BUS";
    default:
      return "CAN Q5 Driver";
  }
}

can_core* peripheral_can_hub() {
  peripheral_can* can = g_pPeripheralTask ? g_pPeripheralTask->Can() : nullptr;
  return can ? &can->core : nullptr;
}

namespace {

int open_and_register(can_core& core, can_bus& bus, uint32_t number, can_driver* driver) {
  if (!bus.open(can_driver_name(number), driver)) {
    monitor_printf("RegisterCanDrivers: %s not opened\n", can_driver_name(number));
    return 0;
  }
  return core.register_bus(&bus) ? 1 : 0;
}

}  // namespace

int peripheral_can::Register() {
  int ok = open_and_register(core, bus_b, CAN_BUS_SENSOR_B, &q5_driver);
  ok &= open_and_register(core, bus_a, CAN_BUS_SENSOR_A, &db_driver);
  if (panel_driver) ok &= open_and_register(core, bus_c, CAN_BUS_SENSOR_C, panel_driver);
  ok &= open_and_register(core, controller, CAN_BUS_CONTROLLER, &db_driver);
  return ok;
}
