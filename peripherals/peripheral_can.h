// The CAN stack of the peripherals: the drivers, the three sensor buses and
// the controller bus, and the hub that finds a device's bus by name. The
// peripheral task opens and registers the buses at start-up; devices and
// auto-detection name a bus by its number.
#pragma once

#include <cstdint>

#include "frame/can/can_bus.h"
#include "frame/can/can_core.h"
#include "frame/can/can_db_driver.h"
#include "frame/can/can_q5_driver.h"

enum : uint8_t {
  CAN_BUS_SENSOR_A = 1,   // "CAN DB Driver" on the EPLD packet driver
  CAN_BUS_SENSOR_B = 2,   // "CAN Q5 Driver" on the CAN controller
  CAN_BUS_SENSOR_C = 4,   // "CAN Control Panel Driver", the panel's tunnel
  CAN_BUS_CONTROLLER = 8, // "Q5 CONTROLLER BUS" on the EPLD packet driver
};

// The name a bus number was opened with; any other number gives
// "CAN Q5 Driver".
const char* can_driver_name(uint32_t bus_number);

// The hub of the peripheral task's CAN stack, where CAN peripherals
// register their devices; null while the task has no stack.
can_core* peripheral_can_hub();

struct peripheral_can {
  can_db_driver db_driver;
  CCANQ5Driver q5_driver;
  // The front panel's tunnel driver (the global one at start-up); without
  // it sensor bus C is not opened.
  can_driver* panel_driver = nullptr;
  sensor_bus bus_a;
  sensor_bus bus_b;
  sensor_bus bus_c;
  controller_bus controller;
  can_core core;

  // Opens B, A, C (when its driver is there) and the controller bus, and
  // registers each with the hub. 1 when every bus that has a driver opened.
  int Register();
};
