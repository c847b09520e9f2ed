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

// The sign's location and the time an enterprise trap reports, copied when
// taken (a trap may go out later; the sender copies them again).
struct peripheral_trap_origin {
  static constexpr uint32_t LOCATION_MAX = 255;  // a DisplayString
  uint8_t location[LOCATION_MAX];
  uint32_t location_length = 0;
  uint32_t time = 0;  // a counter's value is its u32 as the agent keeps integers
};

// Takes sysLocation and globalTime from the database into `origin` and
// points bindings[0] (sysLocation.0) and bindings[1] (globalTime.0) at them.
// Returns 2, the number of bindings filled.
uint32_t peripheral_trap_origin_bindings(peripheral_trap_binding* bindings, peripheral_trap_origin* origin);

// One binding of `length` value bytes under an OID of at most 40
// sub-identifiers (a longer one is cut).
void peripheral_trap_bind(peripheral_trap_binding* binding, const uint32_t* oid, uint32_t oid_length, uint8_t type,
                          const void* value, uint32_t length);

// A null sender drops traps.
void peripheral_set_trap_sender(peripheral_trap_sender sender);
void peripheral_send_trap(uint32_t generic, uint32_t specific, uint32_t count,
                          const peripheral_trap_binding* bindings);
