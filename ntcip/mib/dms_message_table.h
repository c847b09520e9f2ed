// The NTCIP 1203 message table over SNMP (dmsMessage, 1.3.6.1.4.1.1206.4.2.3.5):
// the message counts and free memory, and the table of stored messages of
// every memory type. Edits go through the table's status column; the
// database's write hooks hold the status machine and the display's
// message-table service turns requests into states.
#pragma once

#include <cstdint>

// False for the memory types that have no table (other, and anything above
// blank), with a trace line; true otherwise.
bool dms_check_mem_type(uint32_t memory_type);
