// The tasks of the subsystems above the frame, subscribed and created in
// the order start-up gives them.
#pragma once

#include <cstdint>

#include "tx_api.h"

// The tasks of those subsystems, in the slot order of the router and the
// creation order of start-up.
void neighbour_tasks_subscribe_before_monitor();  // Communication, Display, Schedule, Peripheral
void neighbour_tasks_create_middle(TX_BYTE_POOL* pool);  // Display, Schedule, Peripheral
void neighbour_tasks_create_last(TX_BYTE_POOL* pool);    // Communication
// Hands the console's "vms" command these tasks, the "thread stacks" pool
// and the main packet pool.
void neighbour_tasks_link_console(TX_BYTE_POOL* thread_stacks);
