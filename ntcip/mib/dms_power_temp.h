// The power and temperature status groups (statPower and statTemp, nodes 9.8
// and 9.9 of the sign subtree). Their rows join the registry through
// mib_groups.cpp (g_dms_power_temp_group).
#pragma once

#include <cstdint>

// Whether a live peripheral of the type exists. The agent asks it for the
// temperature extremes while quorSpecialFeatureSet has bit 0x1000 ("use no
// such name on sensors"); start-up installs the peripheral task's answer.
// Until one is installed no peripheral counts as live.
typedef bool (*snmp_peripheral_presence)(uint16_t type_id);
void snmp_set_peripheral_presence(snmp_peripheral_presence presence);
