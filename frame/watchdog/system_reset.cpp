// The restart routines. The orderly reset, the Ethernet driver, the flash
// journal and the file-system driver end the run through them.
#include "board_io.h"
#include "database/database.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"
#include "frame/watchdog/watchdog_task.h"
#include "mon_api.h"

uint32_t g_reset_busy_count = 235000000;

namespace {

constexpr uint32_t kUart0Scratch = 0xEF600307;

// Raises the calling thread to priority 0, switches the watchdog on and
// counts, so that the hardware watchdog resets the board. The priority the
// thread had, or -1 outside a thread.
int restart_by_watchdog() {
  if (g_pDataBase) g_pDataBase->StateMachine_BootCounter(1);
  int previous = -1;
  if (TX_THREAD* self = tx_thread_identify()) {
    UINT old = 0;
    if (tx_thread_priority_change(self, 0, &old) == TX_SUCCESS) previous = static_cast<int>(old);
  }
  mon_watchdog_enable(1);
  for (uint32_t i = 1; i < g_reset_busy_count; ++i) asm volatile("");
  return previous;
}

}  // namespace

void system_reset() {
  monitor_printf_debug("Reset\n");
  restart_by_watchdog();
  mon_restart(0);
}

void system_ethernet_reset() {
  monitor_printf_debug("Ethernet Reset\n");
  int previous = restart_by_watchdog();
  monitor_printf("Ethernet Reset Failed\n");
  // The caller goes on: not at priority 0, where it would hold off every
  // other task.
  if (previous >= 0) {
    UINT old = 0;
    tx_thread_priority_change(tx_thread_identify(), static_cast<UINT>(previous), &old);
  }
}

void system_defrag_reset() {
  monitor_printf_debug("Defrag Reset\n");
  reg_write8(kUart0Scratch, reg_read8(kUart0Scratch) | 0x01);
  os_sleep(10);
  mon_restart(0);
}
