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
    &g_dms_illum_group,
    &g_dms_error_status_group,
    &g_dms_power_temp_group,
    &g_dms_graphic_group,
    &g_mib2_group,
    &g_fdot_group,
    &g_global_config_group,
    &g_global_time_group,
    &g_security_group,
    &g_auxio_group,
    &g_protocol_group,
    &g_quor_sign_group,
    &g_quor_comm_group,
    &g_quor_status_group,
    &g_vestrel_group,
    &g_zezaro_group,
    &g_ess_location_group,
};

const uint32_t g_mib_group_count = sizeof g_mib_groups / sizeof g_mib_groups[0];
