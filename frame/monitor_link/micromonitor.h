// The application's connection to the boot monitor: the call table and the
// lock around every monitor call, the time and date hooks for file stamps,
// the "vms" command, the boot-loader check, the board id and the product
// start-up step.
#pragma once

#include <cstdint>

#include "mon_api.h"
#include "tx_api.h"

// Product board id 0..15: bits 9-12 of the 16-bit board register 0xF0200004.
uint8_t platform_board_id();
// The boot-monitor start-up; 0 when the file-system media opened, 1 otherwise.
int platform_init_micromonitor(uint8_t** cursor);
// 0 when the boot monitor is current (or its replacement was not stored), 1
// after a replacement was stored and a restart asked for.
int platform_check_bootloader();
// " - Initialize KM Product Specific Items" [ OK ]; 0.
int platform_init_product(uint8_t** cursor);

// The lock pair handed to monConnect: "MicromonitorMutex", waiting forever.
void micromonitor_lock();
void micromonitor_unlock();
extern TX_MUTEX g_micromonitor_mutex;

// The monitor's clock hooks (mon_tfsctrl request 11).
uint32_t micromonitor_time_hook();
char* micromonitor_date_hook(uint32_t seconds, char* buffer, int size);
// The value the time hook last obtained (0 at start).
uint32_t micromonitor_cached_time();

// The clock peripheral (type 90) as the hooks read it. The peripherals are
// not part of the frame, so the peripheral task installs this when it
// creates the clock; until then there is no clock.
struct micromonitor_clock {
  // Non-zero while the clock peripheral exists.
  int (*exists)();
  // 1 and the local time in seconds since 1970 when the clock holds a valid
  // time, 0 otherwise.
  int (*local_time)(uint32_t* seconds);
};
void micromonitor_set_clock(const micromonitor_clock& clock);

// Steps of the boot-monitor start-up that belong to subsystems built apart;
// start-up installs them. A missing step is skipped (a missing media open
// counts as opened).
struct micromonitor_steps {
  // The network stack's fixed areas: the Ethernet packet area, the DHCP
  // client's pre-initialisation, the stack's initialisation and the main
  // packet pool "NetX".
  void (*network_areas)();
  // fx_media_ready as the file-system media's watchdog hook.
  void (*install_media_hook)();
  // Opens the flash file system as "system drive": 0 when opened.
  int (*media_open)();
};
void micromonitor_set_steps(const micromonitor_steps& steps);

// The boot-loader check's age of a build date text: 365 x (year - 2000) +
// 31 x (month - 1) + day; false when the text is too short or its day or
// year are not digits.
bool bootloader_age(const char* version, int32_t* age);
constexpr int32_t BOOTLOADER_MIN_AGE = 2446;  // 8 September 2006

// The application's command table for the monitor: "vms" and "VMS".
extern const mon_command g_vms_commands[];
extern const char* const g_vms_help[];
// The "vms" console command.
int vms_command(int argc, char** argv);
