// The sign control objects (signControl, node 6 of the sign subtree): how a
// central system runs the sign. The group's rows join the registry through
// mib_groups.cpp (g_dms_control_group).
#pragma once

// Network settings changed through the agent (the MIB-II address and route
// handlers mark them just before their write). While marked, every reset
// request through dmsSWReset first publishes MSG_NETWORK_CONFIG_CHANGED so
// that the new settings are written out before the controller restarts.
// Only a restart clears the mark (the clear is for tests).
void snmp_network_settings_changed();
bool snmp_network_settings_pending();
void snmp_network_settings_clear();
