// What the display task reaches of the subsystems built on top of it: each
// of those installs its side at start-up. Until then (and in tests that do
// without them) the display leaves that part out.
#pragma once

#include <cstdint>

// The SNMP agent's access word. Memory management withdraws bit
// MEMORY_ACCESS_BIT while it clears message rows and sets it again at the
// end.
extern uint32_t* g_pSnmpAccessWord;
constexpr uint32_t MEMORY_ACCESS_BIT = 0x400000;

// Hands the controller's HDLC station address to every communication
// endpoint.
typedef void (*hdlc_address_setter)(uint8_t address);
extern hdlc_address_setter g_pfnSetHdlcAddress;
