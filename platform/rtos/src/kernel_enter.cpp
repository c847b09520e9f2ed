// The program's way into the kernel: the application hook, then scheduling
// on the real clock. Kept apart so that tests, which start the kernel
// themselves, need not define the hook.
#include <condition_variable>
#include <mutex>

#include "rtos_host.h"

VOID tx_kernel_enter(VOID) {
  rtos::kernel_config config;
  config.clock = rtos::clock_source::real;
  rtos::kernel_start(config, tx_application_define);
  std::mutex m;
  std::condition_variable forever;
  std::unique_lock<std::mutex> lk(m);
  for (;;) forever.wait(lk);
}
