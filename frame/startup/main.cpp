// The controller program: the state folder, the host's board, then the
// firmware's own main.
#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "frame/startup/host.h"
#include "frame/startup/startup.h"

namespace {

void on_interrupt(int) {
  host_restore_terminal();
  static const char bye[] = "\n";
  (void)!write(STDOUT_FILENO, bye, sizeof bye - 1);
  _exit(0);
}

}  // namespace

int main(int argc, char** argv) {
  std::string state = argc > 1 ? argv[1] : "var";
  if (!host_prepare(state)) return 1;
  std::signal(SIGINT, on_interrupt);
  std::signal(SIGTERM, on_interrupt);
  startup_subscribe();
  tx_kernel_enter();
}
