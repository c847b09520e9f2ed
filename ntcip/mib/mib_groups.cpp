// The object groups of the program. A group file defines its rows and its
// handler and is listed here; the registry merges the groups of each subtree
// in OID order at the engine's start.
#include "ntcip/mib/mib_groups.h"
#include "ntcip/mib/mib_registry.h"

const mib_group* const g_mib_groups[] = {
    &g_mib2_system_group,
    &g_dms_control_group,
    &g_dms_message_group,
    &g_dms_sign_config_group,
    &g_dms_font_group,
    &g_dms_multi_config_group,
    &g_global_report_group,
    &g_nvdot_group,
};

const uint32_t g_mib_group_count = sizeof g_mib_groups / sizeof g_mib_groups[0];
