// What the display task registers its faces with: the module bus, the
// stream it reads, and the module diagnostics of the primary face (the
// controller's: the "ksr-7100" bus, its stream and its diagnostics). An
// idle bus, which drops what it receives, serves tests that need a bus
// without the module link.
#pragma once

#include "display/core/bus.h"
#include "display/core/diagnostics.h"
#include "display/core/stream.h"

namespace disp {

class idle_bus : public bus {
 public:
  void ReceiveByte() override {}
};

}  // namespace disp

struct display_module_link_s {
  disp::bus* bus;
  disp::stream* stream;
  disp::diagnostics* diagnostics;
};

extern display_module_link_s g_display_module_link;
// The name of the controller's module bus, which the faces name.
constexpr const char* MODULE_BUS_NAME = "ksr-7100";
