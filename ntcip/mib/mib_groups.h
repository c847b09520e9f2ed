// The object groups that join the registry through mib_groups.cpp.
#pragma once

#include "ntcip/mib/mib_registry.h"

// MIB-II system group (1.3.6.1.2.1.1).
extern const mib_group g_mib2_system_group;
