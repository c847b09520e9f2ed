// The display-module framework's global objects, in one file so that the
// core, which keeps pointers to the others, is destroyed first.
#include "display/core/module_link.h"

#include "display/core/core.h"

namespace {

disp::idle_bus g_idle_bus;
disp::stream g_idle_stream;
disp::diagnostics g_base_diagnostics;

}  // namespace

display_module_link_s g_display_module_link = {&g_idle_bus, &g_idle_stream, &g_base_diagnostics};

disp::core g_display_core;
