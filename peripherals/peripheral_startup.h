// The controller's one peripheral task and its CAN stack, as start-up
// brings them up.
#pragma once

#include <cstdint>

#include "tx_api.h"

class CPeripheralTask;
struct vms_links;

extern CPeripheralTask& g_peripheral_task;

// main: the task's inbox subscribes.
void peripheral_task_subscribe();
// The application set-up: a fresh CAN stack, the board's id, then the task's
// thread and timer. 1 when the task was created.
int peripheral_task_create(TX_BYTE_POOL* pool, uint8_t product_board_id);
// The console's links to the task, its list and the CAN hub.
void peripheral_task_link_console(vms_links* links);
