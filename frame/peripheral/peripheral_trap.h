// The way the peripheral tables raise SNMP traps. The NTCIP agent installs
// its trap sender here at start-up; until then traps are dropped. The record
// has the layout of the agent's variable-binding record, so the agent can
// pass the bindings straight on.
#pragma once

#include <cstdint>

struct peripheral_trap_binding {
  uint32_t oid[40];
  uint32_t oid_length;  // number of sub-identifiers
  uint8_t type;         // 2 octet string, 5 counter
  uint32_t length;      // value bytes
  const uint8_t* value;  // a counter: its u32 in host order
};

enum : uint8_t { TRAP_VALUE_OCTETS = 2, TRAP_VALUE_COUNTER = 5 };
enum : uint32_t { TRAP_ENTERPRISE_SPECIFIC = 6, TRAP_FIRST_FAN_FAILURE = 15 };

// Queues one trap. The sender copies the bindings and the values they point
// to before it returns; the caller's records live on its stack.
typedef void (*peripheral_trap_sender)(uint32_t generic, uint32_t specific, uint32_t count,
                                       const peripheral_trap_binding* bindings);

// A null sender drops traps.
void peripheral_set_trap_sender(peripheral_trap_sender sender);
void peripheral_send_trap(uint32_t generic, uint32_t specific, uint32_t count,
                          const peripheral_trap_binding* bindings);
