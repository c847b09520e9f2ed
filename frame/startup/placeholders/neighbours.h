// What start-up calls on subsystems that are not built yet, each with the
// least behaviour that lets its start-up step run. Each is replaced by the
// real operation when its subsystem is built.
#pragma once

#include <cstdint>

#include "tx_api.h"

// Boot-monitor connection.
uint8_t platform_board_id();
int platform_init_micromonitor(uint8_t** cursor);
int platform_init_product(uint8_t** cursor);

// Message display.
void select_module_type_table();
void job_queue_open();
void display_core_open();
void display_program_epld();
void display_read_module_colour_depth();
void display_register_faces(uint32_t height, uint32_t width, uint32_t module_id);

// NTCIP agent.
void event_logging_update();
void script_file_load();

// Peripherals.
void power_supply_table_init();

// The tasks of those subsystems, in the slot order of the router and the
// creation order of start-up.
void neighbour_tasks_subscribe_before_monitor();  // Communication, Display, Schedule, Peripheral
void neighbour_tasks_subscribe_after_monitor();   // Watchdog
void neighbour_tasks_create_first(TX_BYTE_POOL* pool);   // Watchdog
void neighbour_tasks_create_middle(TX_BYTE_POOL* pool);  // Display, Schedule, Peripheral
void neighbour_tasks_create_last(TX_BYTE_POOL* pool);    // Communication
