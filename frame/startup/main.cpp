// The controller program: the state folder, the host's board, then the
// firmware's own main.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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

// signctl [--exit-on-restart] [state folder]
// With --exit-on-restart (or SIGNCTL_RESTART=exit in the environment) a
// restart of the board ends the program with status 64 + the restart kind
// (0 plain, 1 boot-loader install, 2 hardware watchdog) instead of running
// it again. The state folder may hold "net.conf", the host ports of the
// controller's network (see host.h).
int main(int argc, char** argv) {
  std::string state = "var";
  const char* mode = std::getenv("SIGNCTL_RESTART");
  bool exit_on_restart = mode && std::strcmp(mode, "exit") == 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--exit-on-restart") == 0)
      exit_on_restart = true;
    else
      state = argv[i];
  }
  if (!host_prepare(state, std::vector<std::string>(argv, argv + argc), exit_on_restart)) return 1;
  std::signal(SIGINT, on_interrupt);
  std::signal(SIGTERM, on_interrupt);
  startup_subscribe();
  tx_kernel_enter();
}
