// The console command "vms": status, trace level and debug operations.
// Many operations act on other subsystems; each of those hands its part to
// the command with vms_set_links when it comes up. An operation whose
// target is not there prints that it is not available (or, where the
// command has one, the text for a missing target) and does nothing else.
#pragma once

#include <cstdint>

#include "nx_api.h"
#include "tx_api.h"

class CTaskBase;
class CPeripheral;
class can_core;
class can_db_driver;
class can_driver;

// The peripheral task's list, the front panel's LCD and the modem driver.
struct vms_peripheral_ops {
  // The live peripheral of a type id, or null (pl_mediator::Find).
  CPeripheral* (*find)(uint32_t type_id);
  // 1 when the peripheral was found (pl_mediator::Enable, Disable).
  int (*enable)(uint32_t type_id);
  int (*disable)(uint32_t type_id);
  // 1 and the old interval when found (pl_mediator::SetPollInterval).
  int (*set_poll_interval)(uint32_t type_id, uint16_t interval, uint16_t* old_interval);
  // The peripheral's own status report (CPeripheralTask::ShowPeripheralStatus).
  void (*show_status)(uint32_t type_id);
  // The front panel's LCD output, held while the list prints.
  void (*lcd_suspend)();
  void (*lcd_resume)();
  // Whether the peripheral is a modem (class code 0x20), and its driver's
  // CModemDriver::SendString (text, then CR) and CModemDriver::Escape.
  int (*is_modem)(CPeripheral* peripheral);
  void (*modem_send)(CPeripheral* modem, const char* text);
  void (*modem_escape)(CPeripheral* modem);
};

struct vms_links {
  // The tasks whose loop counts the status shows.
  CTaskBase* display = nullptr;
  CTaskBase* peripheral = nullptr;
  CTaskBase* schedule = nullptr;
  CTaskBase* comm = nullptr;
  // The display task's late-step counter and its gamma selection.
  uint32_t (*display_late_steps)() = nullptr;
  void (*gamma_select)(uint32_t gamma) = nullptr;
  // The "thread stacks" pool.
  TX_BYTE_POOL* thread_stacks = nullptr;
  // CAN: the hub (for the sensor bus "CAN Q5 Driver"), the EPLD packet
  // driver and the remote panel's driver. The CAN controller's driver is
  // found by itself.
  can_core* can_hub = nullptr;
  can_db_driver* db_can = nullptr;
  can_driver* ltp_can = nullptr;
  const vms_peripheral_ops* peripherals = nullptr;
  // Ethernet: the main IP instance (its protocol counts), the main packet
  // pool, the driver's pool and the controller's re-initialisation.
  NX_IP* main_ip = nullptr;
  NX_PACKET_POOL* main_pool = nullptr;
  NX_PACKET_POOL* driver_pool = nullptr;
  void (*emac_initialize)() = nullptr;
};

void vms_set_links(const vms_links& links);
const vms_links& vms_get_links();

// The "vms" command itself (argument 0 is "vms"); always 0.
int vms_command(int argc, char** argv);
