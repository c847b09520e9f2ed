// The NTCIP 1204 position objects (ess 1.3.6.1.4.1.1206.4.2.5): latitude,
// longitude and vehicle bearing, read-only, served from the volatile copies
// that the database's volatile defaults fill from the site's configured
// position.
#pragma once

#include "ntcip/mib/mib_registry.h"

uintptr_t* var_essLocation(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                           uint32_t* value_length, snmp_request* record, int index);

// Writes the start values (with notification).
void ess_location_set_defaults();

extern const mib_group g_ess_location_group;
