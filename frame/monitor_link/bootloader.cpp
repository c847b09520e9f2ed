// The boot-loader age check: a boot monitor built before 8 September 2006 is
// replaced by the one the controller carries.
#include <zlib.h>

#include <cstring>
#include <new>

#include "frame/monitor_link/bootloader_image.h"
#include "frame/monitor_link/micromonitor.h"
#include "frame/trace/trace.h"

namespace {

const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool digits(const char* p, int n, int* value) {
  *value = 0;
  for (int i = 0; i < n; ++i) {
    if (p[i] < '0' || p[i] > '9') return false;
    *value = *value * 10 + (p[i] - '0');
  }
  return true;
}

}  // namespace

bool bootloader_age(const char* v, int32_t* age) {
  // "Mmm dd yyyy": eleven characters before anything is read.
  if (!v || std::strlen(v) < 11) return false;
  int year, day;
  if (!digits(v + 7, 4, &year)) return false;
  if (v[4] == ' ' ? !digits(v + 5, 1, &day) : !digits(v + 4, 2, &day)) return false;
  int month = 0;
  for (int m = 0; m < 12 && month == 0; ++m)
    if (std::strncmp(v, kMonths[m], 3) == 0) month = m + 1;
  *age = 365 * (year - 2000) + 31 * (month - 1) + day;
  return true;
}

int platform_check_bootloader() {
  monitor_printf(" - Is Bootloader Current?\t\t\t\t");
  int32_t age = 0;
  if (!bootloader_age(mon_version(), &age)) {
    // A date that cannot be read is no reason to replace the monitor.
    monitor_printf("[FAIL]\n");
    monitor_printf("\tunreadable boot monitor date, keeping it\n");
    return 0;
  }
  if (age >= BOOTLOADER_MIN_AGE) {
    monitor_printf("[ OK ]\n");
    return 0;
  }
  monitor_printf("[FAIL]\n");
  monitor_printf("Please standby for system restart...\n");
  uint8_t* image = new (std::nothrow) uint8_t[BOOTLOADER_INFLATED_MAX];
  if (!image) return 0;
  uLongf size = BOOTLOADER_INFLATED_MAX;
  int stored = -1;
  if (uncompress(image, &size, g_bootloader_image, g_bootloader_image_size) == Z_OK)
    stored = mon_tfsadd(BOOTLOADER_FILE_NAME, nullptr, nullptr, image, static_cast<uint32_t>(size));
  delete[] image;
  if (stored != 0) return 0;
  mon_restart(1);
  return 1;
}
