#!/usr/bin/env bash
# GETNEXT walk rate: one client walks the system group over and over, one
# GETNEXT at a time; the controller against net-snmp's snmpd in the same
# run. Not part of the tests.
#
#   bench/snmp_walk_rate.sh [seconds per agent, default 10] [subtree, default 1.3.6.1.2.1.1]
source "$(dirname "$0")/common.sh"
SECONDS_EACH=${1:-10}
SUBTREE=${2:-1.3.6.1.2.1.1}
start_both
read -r C_RATE C_DONE C_LOST < <(python3 "$CLIENT" "$CONTROLLER_PORT" "$COMMUNITY" "$SECONDS_EACH" walk "$SUBTREE")
read -r S_RATE S_DONE S_LOST < <(python3 "$CLIENT" "$SNMPD_PORT" "$COMMUNITY" "$SECONDS_EACH" walk "$SUBTREE")
echo "controller: $C_RATE GETNEXT/s ($C_DONE answered, $C_LOST lost)"
echo "snmpd:      $S_RATE GETNEXT/s ($S_DONE answered, $S_LOST lost)"
echo "ratio controller/snmpd: $(ratio "$C_RATE" "$S_RATE")"
