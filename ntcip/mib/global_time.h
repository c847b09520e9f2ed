// The time management, daylight-saving and time-base schedule objects
// (globalTimeManagement, 1.3.6.1.4.1.1206.4.2.6.3). The group's rows join
// the registry through mib_groups.cpp (g_global_time_group).
#pragma once

#include <cstdint>

// Every get and set of globalTime over SNMP hands the time read back from
// the real-time clock to this observer: the communication task keeps it as
// its saved global time. The communication task installs it at start-up;
// null removes it.
typedef void (*snmp_global_time_observer)(uint32_t global_time);
void snmp_set_global_time_observer(snmp_global_time_observer observer);
