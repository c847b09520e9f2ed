// Start-up: the global objects, main's subscriptions and the kernel's
// application hook that creates the pools and tasks and brings the
// subsystems up before the first task runs.
#pragma once

#include <cstdint>

#include "tx_api.h"

extern TX_BYTE_POOL g_thread_stack_pool;      // "thread stacks"
extern TX_BYTE_POOL g_dynamic_database_pool;  // "dynamic database"
extern uint8_t g_product_board_id;
// 0 cold start, 1 warm start, 2 start after a short power loss.
extern uint8_t g_reset_mode;

constexpr uint32_t THREAD_STACK_POOL_SIZE = 196608;
constexpr uint32_t DYNAMIC_DATABASE_POOL_SIZE = 2097152;

class CDisplay;
// The display task.
extern CDisplay& g_display;
class CScheduleTask;
// The schedule task.
extern CScheduleTask g_schedule_task;

// The pool for threads created outside the task base.
TX_BYTE_POOL* thread_stack_pool();
const char* product_board_name();
// Records the kind of this start from the reset cause of the last one.
void update_reset_type();
// Runs once the database is up, before the display reads the sign's
// configuration (the host's bench sets its sign up there). Null: none.
extern void (*g_startup_configure)();
// What main does before entering the kernel: each task's inbox subscribes,
// in slot order.
void startup_subscribe();
