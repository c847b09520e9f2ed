#include "frame/startup/neighbours.h"

#include "comm/comm_task.h"
#include "comm/network.h"
#include "display/driver/q5_display_driver.h"
#include "display/schedule/schedule_task.h"
#include "display/task/display.h"
#include "frame/console/vms_command.h"
#include "frame/startup/startup.h"
#include "peripherals/peripheral_startup.h"

void neighbour_tasks_subscribe_before_monitor() {
  g_comm_task.Subscribe();
  g_display.Subscribe();
  g_schedule_task.Subscribe();
  peripheral_task_subscribe();
}

void neighbour_tasks_create_middle(TX_BYTE_POOL* pool) {
  g_display.Create(pool);
  g_schedule_task.Create(pool);
  peripheral_task_create(pool, g_product_board_id);
}

void neighbour_tasks_create_last(TX_BYTE_POOL* pool) { g_comm_task.Create(pool); }

void neighbour_tasks_link_console(TX_BYTE_POOL* thread_stacks) {
  vms_links links = vms_get_links();
  links.display = &g_display;
  links.display_late_steps = [] { return static_cast<uint32_t>(g_display.LateSteps()); };
  links.gamma_select = [](uint32_t gamma) { CQ5DisplayDriver::SetGammaSelect(static_cast<uint8_t>(gamma)); };
  links.schedule = &g_schedule_task;
  peripheral_task_link_console(&links);
  links.comm = &g_comm_task;
  links.thread_stacks = thread_stacks;
  links.main_ip = &g_netx_ip;
  links.main_pool = &g_netx_pool;
  vms_set_links(links);
}
