// The display-module framework's global objects, in one file so that the
// core, which keeps pointers to the others, is destroyed first.
#include "display/core/module_link.h"

#include "display/core/core.h"
#include "display/modbus/bus_ksr7100.h"
#include "display/modbus/diag_ksr7100.h"
#include "display/modbus/stream_ksr7100.h"

stream_ksr7100 g_stream_ksr7100;
bus_ksr7100 g_bus_ksr7100;
diag_ksr7100 g_diag_ksr7100;

display_module_link_s g_display_module_link = {&g_bus_ksr7100, &g_stream_ksr7100, &g_diag_ksr7100};

disp::core g_display_core;
