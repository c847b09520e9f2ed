// The table of comm-port drivers, lent out by id. Only the console port is
// in it so far.
#include "comm/ports.h"

#include "frame/serial/q5_serial_driver.h"
#include "frame/trace/trace.h"

namespace {

CQ5SerialDriver g_console_driver;
uint32_t g_drivers_in_use = 0;

}  // namespace

void InitializeNTCIPObjects(uint8_t** cursor) {
  // The console: channel 1 at 19200 baud, interrupt-driven, 8N1.
  g_console_driver.Open(1, 19200, 8, 0x1121, 0, 2000);
  if (!cursor) monitor_printf("Error: Initializing NTCIP Objects\n");
}

CSerialDriver* AttainDriver(uint32_t id) {
  if (id >= 12 || (g_drivers_in_use & (1u << id))) return nullptr;
  g_drivers_in_use |= 1u << id;
  return id == COMM_DRIVER_CONSOLE ? &g_console_driver : nullptr;
}

uint32_t ReleaseDriver(uint32_t id) {
  if (id >= 16) return 0;
  g_drivers_in_use &= ~(1u << id);
  return 1;
}
