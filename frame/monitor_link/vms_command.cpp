// The "vms" console command. Its operations (status, trace, debug) come with
// the service console; until then it answers with its help lines.
#include "frame/monitor_link/micromonitor.h"
#include "frame/trace/trace.h"

int vms_command(int, char**) {
  for (const char* const* line = g_vms_help; *line; ++line) monitor_printf("%s\n", *line);
  return 0;
}
