#include "peripherals/peripheral_startup.h"

#include <new>

#include "display/driver/q5_display_driver.h"
#include "display/schedule/schedule_task.h"
#include "display/task/display_peripherals.h"
#include "frame/can/can_cp_driver.h"
#include "frame/bus/post_office.h"
#include "frame/console/vms_command.h"
#include "peripherals/clock.h"
#include "peripherals/devices/low_power_mode.h"
#include "peripherals/peripheral_can.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/peripheral_types.h"

namespace {
alignas(CPeripheralTask) unsigned char g_task_storage[sizeof(CPeripheralTask)];
peripheral_can* s_can = nullptr;

// The schedule task's view of the clock.
void* find_clock() {
  CPeripheral* p = g_pPeripheralTask ? g_pPeripheralTask->GetPeripheral(PTYPE_CLOCK) : nullptr;
  return p && p->m_byClass == PCLASS_CLOCK ? static_cast<CClock*>(p) : nullptr;
}

int clock_local_date(void* clock, calendar_record* out) {
  clock_date d{};
  if (!clock || !out || !static_cast<CClock*>(clock)->GetLocalDate(&d)) return 0;
  *out = calendar_record{static_cast<int32_t>(d.seconds), static_cast<int32_t>(d.minutes),
                         static_cast<int32_t>(d.hours),   static_cast<int32_t>(d.day),
                         static_cast<int32_t>(d.month),   static_cast<int32_t>(d.year),
                         static_cast<int32_t>(d.weekday), static_cast<int32_t>(d.yday)};
  return 1;
}

int clock_startup_time(void* clock, uint32_t* seconds) {
  return clock ? static_cast<CClock*>(clock)->GetStartupTime(seconds) : 0;
}

}  // namespace

// Never destroyed: its peripherals and CAN devices may be in use by other
// threads until the very end.
CPeripheralTask& g_peripheral_task = *new (g_task_storage) CPeripheralTask(&g_post_office);

namespace {

// What the display task asks of the peripheral task: the derating of the
// over-temperature protection and its module-temperature peripheral.
uint8_t derating_percent() { return g_peripheral_task.m_byBrightnessLimit; }

bool peripheral_is_live(uint32_t type_id) {
  return type_id <= 0xFFFF && g_peripheral_task.Mediator().Exists(static_cast<uint16_t>(type_id));
}

int peripheral_create(uint32_t type_id, const char* parameters) {
  return type_id <= 0xFFFF ? g_peripheral_task.CreatePeripheral(static_cast<uint16_t>(type_id), parameters) : 0;
}

// The sign power-mode peripheral (type 29), when live.
CLowPowerMode* power_mode() {
  CPeripheral* p = g_peripheral_task.GetPeripheral(29);
  return p && p->m_byClass == CLowPowerMode::CLASS_CODE ? static_cast<CLowPowerMode*>(p) : nullptr;
}

bool low_power_active() {
  const CLowPowerMode* p = power_mode();
  return p && p->Mode() != CLowPowerMode::MODE_NORMAL;
}

void clear_power_loss_activation() {
  if (power_mode()) CLowPowerMode::ClearPowerLossActivation();
}

bool peripheral_remove(uint32_t type_id) {
  return type_id <= 0xFFFF && g_peripheral_task.Mediator().Remove(static_cast<uint16_t>(type_id));
}

}  // namespace

void peripheral_task_subscribe() { g_peripheral_task.Subscribe(); }

int peripheral_task_create(TX_BYTE_POOL* pool, uint8_t product_board_id) {
  // A start before this one (in the same process) left a stack on the old
  // kernel: its drivers are taken down before new ones take the hardware,
  // and a detection that was running goes first.
  g_peripheral_task.AbandonAutoDetect();
  CQ5DisplayDriver::SetLineDriver(nullptr);
  delete s_can;
  s_can = new (std::nothrow) peripheral_can();
  // One driver carries the EPLD's CAN traffic: the display's module lines
  // and sensor bus A share it, so what the EPLD receives reaches both.
  if (s_can) CQ5DisplayDriver::SetLineDriver(&s_can->db_driver);
  // Sensor bus C runs through the front panel's CAN port.
  if (s_can) s_can->panel_driver = &g_can_cp_driver;
  g_peripheral_task.SetCan(s_can);
  g_peripheral_task.SetProductBoardId(product_board_id);
  schedule_services services = schedule_get_services();
  services.find_clock = find_clock;
  services.clock_local_date = clock_local_date;
  services.clock_startup_time = clock_startup_time;
  schedule_set_services(services);
  g_display_peripherals.derating_percent = derating_percent;
  g_display_peripherals.is_live = peripheral_is_live;
  g_display_peripherals.create = peripheral_create;
  g_display_peripherals.remove = peripheral_remove;
  g_display_peripherals.clear_gp_output_requests = [] { g_peripheral_task.ClearAllGPOutputRequests(); };
  g_display_peripherals.low_power_active = low_power_active;
  g_display_peripherals.clear_power_loss_activation = clear_power_loss_activation;
  g_display_peripherals.radar_live = [] { return peripheral_is_live(PTYPE_SPEED_RADAR); };
  return g_peripheral_task.Create(pool);
}

void peripheral_task_link_console(vms_links* links) {
  if (!links) return;
  links->peripheral = &g_peripheral_task;
  links->peripherals = peripheral_console_ops();
  if (s_can) {
    links->can_hub = &s_can->core;
    links->db_can = &s_can->db_driver;
    links->ltp_can = s_can->panel_driver;
  }
}
