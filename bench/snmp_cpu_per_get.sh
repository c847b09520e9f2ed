#!/usr/bin/env bash
# CPU time per GET (user + system, all threads) of the controller and of
# net-snmp's snmpd, each answering one client for the same time in the same
# run. Not part of the tests.
#
#   bench/snmp_cpu_per_get.sh [seconds per agent, default 10]
source "$(dirname "$0")/common.sh"
SECONDS_EACH=${1:-10}
start_both

# Microseconds of CPU per answered GET of process $2 serving port $1.
per_get() {
  local before after done
  before=$(cpu_seconds "$2")
  read -r _ done _ < <(python3 "$CLIENT" "$1" "$COMMUNITY" "$SECONDS_EACH" get)
  after=$(cpu_seconds "$2")
  python3 -c "import sys; b, a, d = map(float, sys.argv[1:]); print('%.1f %d' % ((a - b) * 1e6 / d, d))" \
    "$before" "$after" "$done"
}
read -r C_US C_DONE < <(per_get "$CONTROLLER_PORT" "$CONTROLLER_PID")
read -r S_US S_DONE < <(per_get "$SNMPD_PORT" "$SNMPD_PID")
echo "controller: $C_US us CPU per GET ($C_DONE GETs)"
echo "snmpd:      $S_US us CPU per GET ($S_DONE GETs)"
echo "ratio controller/snmpd: $(ratio "$C_US" "$S_US")"
