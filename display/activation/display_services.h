// The display's entry points for other subsystems' threads (the SNMP
// agent, the web pages). Each runs its work on the display object in the
// caller's thread under the display lock, so it never overlaps the display
// step or another entry. Without a display object they do nothing (and an
// activation counts as failed).
#pragma once

#include <cstdint>

// Takes the code written into mib_v.dmsActivateMessage into activation
// slot 6 and arbitrates the slots. True when the activation FAILED:
// mib_nv.dmsActivateMsgError is not 2 (none) afterwards, and says why.
bool display_activate_message();

// The status pass over the message table (validation requests and the
// counters).
void display_process_message_table();
// The status pass over the graphic table.
void display_process_graphic_table();
// The memory-management commands (dmsMemoryMgmt) and the private reset
// option.
void display_memory_management();

// The display's verdict on an activation code without activating or
// recording anything: 2 when it would be activated, else its NTCIP
// activation error (1 other, 3 priority, 4 message status, 5 memory type,
// 6 message number, 7 CRC, 8 MULTI syntax).
uint32_t display_check_activation(const uint8_t* code, uint32_t length);
