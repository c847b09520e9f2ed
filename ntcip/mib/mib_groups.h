// The object groups that join the registry through mib_groups.cpp.
#pragma once

#include "ntcip/mib/mib_registry.h"

// MIB-II system group (1.3.6.1.2.1.1).
extern const mib_group g_mib2_system_group;
// Sign control objects (1.3.6.1.4.1.1206.4.2.3.6).
extern const mib_group g_dms_control_group;
// Message table objects (1.3.6.1.4.1.1206.4.2.3.5).
extern const mib_group g_dms_message_group;
// Sign and VMS configuration (1.3.6.1.4.1.1206.4.2.3.1 and .2).
extern const mib_group g_dms_sign_config_group;
// Font and character tables (1.3.6.1.4.1.1206.4.2.3.3).
extern const mib_group g_dms_font_group;
// MULTI defaults and capabilities (1.3.6.1.4.1.1206.4.2.3.4).
extern const mib_group g_dms_multi_config_group;
// Event log (1.3.6.1.4.1.1206.4.2.6.4).
extern const mib_group g_global_report_group;
// The nvdot subtree (1.3.6.1.4.1.1206.3.35).
extern const mib_group g_nvdot_group;
