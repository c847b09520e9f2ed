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
// Illumination, action table and dmsStatus (1.3.6.1.4.1.1206.4.2.3.7 to .9).
extern const mib_group g_dms_illum_group;
// Error status (1.3.6.1.4.1.1206.4.2.3.9.7).
extern const mib_group g_dms_error_status_group;
// Power and temperature status (1.3.6.1.4.1.1206.4.2.3.9.8 and .9.9).
extern const mib_group g_dms_power_temp_group;
// Graphic definitions (1.3.6.1.4.1.1206.4.2.3.10).
extern const mib_group g_dms_graphic_group;
// MIB-II interfaces, address translation, IP, transmission and SNMP groups
// (1.3.6.1.2.1.2 to .11).
extern const mib_group g_mib2_group;
// The fdot subtree (1.3.6.1.4.1.1206.3.6).
extern const mib_group g_fdot_group;
// The zezaro subtree (1.3.6.1.4.1.1206.3.32).
extern const mib_group g_zezaro_group;
// Global configuration, module table and database management
// (1.3.6.1.4.1.1206.4.2.6.1 and .2).
extern const mib_group g_global_config_group;
// Time management, daylight saving and time-base schedule (1.3.6.1.4.1.1206.4.2.6.3).
extern const mib_group g_global_time_group;
// Communities and auxiliary I/O (1.3.6.1.4.1.1206.4.2.6.5 and .7).
extern const mib_group g_security_group;
// Auxiliary I/O under its older node (1.3.6.1.4.1.1206.2.1.1).
extern const mib_group g_auxio_group;
// Protocol objects: CHAP, SNMP packet size, PMPP group addresses (1.3.6.1.4.1.1206.4.1).
extern const mib_group g_protocol_group;
// Private sign and display objects (1.3.6.1.4.1.1206.3.11.1 and .2).
extern const mib_group g_quor_sign_group;
// Private communication objects (1.3.6.1.4.1.1206.3.11.2 to .9).
extern const mib_group g_quor_comm_group;
// Private peripheral, power, status and diagnostic objects (1.3.6.1.4.1.1206.3.11.2, .5, .11).
extern const mib_group g_quor_status_group;
// The vestrel subtree (1.3.6.1.4.1.1206.3.16).
extern const mib_group g_vestrel_group;
// NTCIP 1204 position (1.3.6.1.4.1.1206.4.2.5; comm/dhcp/ess_location.cpp).
extern const mib_group g_ess_location_group;
