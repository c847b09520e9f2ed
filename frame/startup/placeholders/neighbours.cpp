#include "frame/startup/placeholders/neighbours.h"

#include "comm/comm_task.h"
#include "comm/network.h"
#include "display/task/display.h"
#include "frame/console/vms_command.h"
#include "frame/startup/startup.h"

#include "frame/bus/letter.h"
#include "frame/os/os.h"
#include "frame/startup/placeholders/placeholder_task.h"
#include "frame/trace/trace.h"

namespace {

// Subscription lists of the router's slots.
const uint32_t kScheduleIds[] = {53, 54, 55, 56, 6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                                 16, 17, 18, 19, 20, 21, 22, 32, 33, 118, 0};
const uint32_t kPeripheralIds[] = {60, 61, 62, 63, 1,  2,  3,  4,  5,   23,  26,  29,  30,  79,  80,
                                   81, 83, 76, 78, 84, 85, 86, 87, 89,  90,  35,  36,  92,  93,  94,
                                   95, 108, 109, 111, 112, 117, 120, 121, 122, 125, 51, 52, 127, 128, 0};

placeholder_task g_schedule(&g_post_office,
                            {"Schedule", "Schedule Task", 4096, 2, 0, 100, 50,
                             {MSG_SCHEDULE_STOP, MSG_WDT_SCHEDULE_START, nullptr, nullptr, "Schedule"}, kScheduleIds});
placeholder_task g_peripheral(&g_post_office,
                              {"Peripheral", "Peripheral Task", 6144, 2, 0, 10, 50,
                               {MSG_PERIPHERAL_STOP, MSG_WDT_PERIPHERAL_START, nullptr, nullptr, "Peripheral"},
                               kPeripheralIds});

}  // namespace

void job_queue_open() {}
void event_logging_update() {}
void script_file_load() {}
void power_supply_table_init() {}

void neighbour_tasks_subscribe_before_monitor() {
  g_comm_task.Subscribe();
  g_display.Subscribe();
  g_schedule.Subscribe();
  g_peripheral.Subscribe();
}

void neighbour_tasks_create_middle(TX_BYTE_POOL* pool) {
  g_display.Create(pool);
  g_schedule.Create(pool);
  g_peripheral.Create(pool);
}

void neighbour_tasks_create_last(TX_BYTE_POOL* pool) { g_comm_task.Create(pool); }

void neighbour_tasks_link_console(TX_BYTE_POOL* thread_stacks) {
  vms_links links = vms_get_links();
  links.display = &g_display;
  links.display_late_steps = [] { return static_cast<uint32_t>(g_display.LateSteps()); };
  links.schedule = &g_schedule;
  links.peripheral = &g_peripheral;
  links.comm = &g_comm_task;
  links.thread_stacks = thread_stacks;
  links.main_pool = &g_netx_pool;
  vms_set_links(links);
}
