#include "frame/peripheral/peripheral_trap.h"

namespace {
peripheral_trap_sender s_sender = nullptr;
}

void peripheral_set_trap_sender(peripheral_trap_sender sender) { s_sender = sender; }

void peripheral_send_trap(uint32_t generic, uint32_t specific, uint32_t count,
                          const peripheral_trap_binding* bindings) {
  if (s_sender) s_sender(generic, specific, count, bindings);
}
