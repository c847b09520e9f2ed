#include "frame/monitor_link/micromonitor.h"

#include <cstdio>

#include "board_io.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/monitor/monitor_task.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"
#include "frame/util/strings.h"
#include "frame/watchdog/watchdog_task.h"

TX_MUTEX g_micromonitor_mutex;

namespace {

constexpr uint32_t kBoardStatus = 0xF0200004;

bool g_mutex_ready = false;
uint32_t g_cached_time = 0;
micromonitor_clock g_clock = {nullptr, nullptr};
micromonitor_steps g_steps = {nullptr, nullptr, nullptr};

// Calendar date of seconds since 1970 (no time zone).
void seconds_to_date(uint32_t seconds, int* year, int* month, int* day, int* hour, int* minute) {
  int64_t days = seconds / 86400;
  uint32_t rest = seconds % 86400;
  *hour = static_cast<int>(rest / 3600);
  *minute = static_cast<int>(rest / 60 % 60);
  // Civil date from a day count, with years starting in March.
  days += 719468;
  int64_t era = days / 146097;
  int64_t doe = days - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = static_cast<int>(yoe + era * 400 + (*month <= 2 ? 1 : 0));
}

}  // namespace

const char* const g_vms_help[] = {
    "VMS Functions.", "-[s:d:t] operation [args]...", "-s status", "-d debug", "-t trace", "Operations:",
    " set {friendly MIB Name}, get {friendly MIB Name }, save, restore", nullptr,
};

const mon_command g_vms_commands[] = {
    {"vms", vms_command, g_vms_help},
    {"VMS", vms_command, g_vms_help},
    {nullptr, nullptr, nullptr},
};

void micromonitor_set_clock(const micromonitor_clock& clock) { g_clock = clock; }
void micromonitor_set_steps(const micromonitor_steps& steps) { g_steps = steps; }
uint32_t micromonitor_cached_time() { return g_cached_time; }

uint8_t platform_board_id() { return static_cast<uint8_t>((reg_read16(kBoardStatus) >> 9) & 0x0F); }

void micromonitor_lock() {
  if (g_mutex_ready) os_mutex_get(&g_micromonitor_mutex, OS_WAIT_FOREVER);
}

void micromonitor_unlock() {
  if (g_mutex_ready) os_mutex_put(&g_micromonitor_mutex);
}

uint32_t micromonitor_time_hook() {
  uint32_t now = 0;
  if (g_clock.exists && g_clock.exists() && g_clock.local_time && g_clock.local_time(&now) == 1) g_cached_time = now;
  return g_cached_time;
}

char* micromonitor_date_hook(uint32_t seconds, char* buffer, int size) {
  if (!buffer || size <= 0) return buffer;
  // Without a clock there is no date to give: an empty text, never what the
  // buffer held before.
  buffer[0] = 0;
  if (size < 18 || seconds == 0xFFFFFFFF) return buffer;
  if (!g_clock.exists || !g_clock.exists()) return buffer;
  int year, month, day, hour, minute;
  seconds_to_date(seconds, &year, &month, &day, &hour, &minute);
  std::snprintf(buffer, static_cast<size_t>(size), "%02d/%02d/%04d %02d:%02d\n", month, day, year, hour, minute);
  return buffer;
}

int platform_init_micromonitor(uint8_t** cursor) {
  g_cached_time = 0;
  const uintptr_t table = reg_read32(MON_TABLE_POINTER);
  // Nothing else runs yet: the first calls need no lock.
  monConnect(table, nullptr, nullptr);
  mon_addcommand(g_vms_commands);
  mon_watchdog_enable(0);
  mon_tfsctrl(TFS_CTRL_HOOKS, reinterpret_cast<intptr_t>(&micromonitor_time_hook),
              reinterpret_cast<intptr_t>(&micromonitor_date_hook));

  // A digit typed while the controller starts sets the trace level.
  uint32_t level = 0;
  for (int i = 0; i < 100; ++i) {
    if (!mon_gotachar()) continue;
    level = hex_digit_value(static_cast<char>(mon_getchar() & 0xFF));
    if (level > 5) level = 0;
    break;
  }
  if (g_pMonitor) g_pMonitor->SetPrintLevel(level);

  g_mutex_ready = false;
  if (os_mutex_create(&g_micromonitor_mutex, "MicromonitorMutex", 1) != OS_SUCCESS)
    monitor_printf(" - tx_mutex_create: micromonitor\t\t\t[FAIL]\n");
  else
    g_mutex_ready = true;
  monConnect(table, micromonitor_lock, micromonitor_unlock);

  platform_check_bootloader();

  monitor_printf(" - Initialize Q5 Platform Specific Items\t\t");
  g_gpbuffer.Create(cursor, GPBUFFER_POOL_SIZE);
  if (g_steps.network_areas) g_steps.network_areas();
  if (g_steps.install_media_hook) g_steps.install_media_hook();

  // A flash too full or too fragmented is compacted by the boot monitor
  // during a restart.
  bool defragment = (mon_tfsctrl(TFS_CTRL_FREE, 0, 0) < 2000000 && mon_tfsctrl(TFS_CTRL_DEAD, 0, 0) > 500000) ||
                    mon_tfsctrl(TFS_CTRL_FRAGMENT, reinterpret_cast<intptr_t>("//SF/"), 0) > 1000;
  if (defragment) {
    monitor_printf("[FAIL]\n");
    monitor_printf("\t need to restart to defragment the flash drive\n");
    system_defrag_reset();
    // Only a restart that did not happen comes back here: the media is
    // still opened so that the file users work.
    return g_steps.media_open && g_steps.media_open() != 0 ? 1 : 0;
  }

  if (!g_steps.media_open || g_steps.media_open() == 0) {
    monitor_printf("[ OK ]\n");
    return 0;
  }
  monitor_printf("[FAIL]\n");
  return 1;
}

int platform_init_product(uint8_t**) {
  monitor_printf(" - Initialize KM Product Specific Items\t\t\t");
  monitor_printf("[ OK ]\n");
  return 0;
}
