#!/usr/bin/env bash
# CPU the controller burns with nothing to do (after it has started and
# answered once), as a share of one core, next to net-snmp's snmpd idle over
# the same stretch, and the controller's busiest threads. Not part of the
# tests.
#
#   bench/idle_cpu.sh [seconds, default 60]
source "$(dirname "$0")/common.sh"
SECONDS_IDLE=${1:-60}
start_both
sleep 2  # let start-up work finish
C_BEFORE=$(cpu_seconds "$CONTROLLER_PID")
S_BEFORE=$(cpu_seconds "$SNMPD_PID")
thread_snapshot "$CONTROLLER_PID" > "$WORK/threads.before"
sleep "$SECONDS_IDLE"
thread_snapshot "$CONTROLLER_PID" > "$WORK/threads.after"
C_AFTER=$(cpu_seconds "$CONTROLLER_PID")
S_AFTER=$(cpu_seconds "$SNMPD_PID")
share() { python3 -c "import sys; b, a, s = map(float, sys.argv[1:]); print('%.3f' % ((a - b) * 100 / s))" "$1" "$2" "$SECONDS_IDLE"; }
C_PCT=$(share "$C_BEFORE" "$C_AFTER")
S_PCT=$(share "$S_BEFORE" "$S_AFTER")
echo "controller: $C_PCT % of a core idle over $SECONDS_IDLE s"
echo "snmpd:      $S_PCT % of a core idle over $SECONDS_IDLE s"
echo "ratio controller/snmpd: $(ratio "$C_PCT" "$S_PCT")"
echo "controller's busiest threads (what still wakes):"
busiest_threads "$WORK/threads.before" "$WORK/threads.after" "$SECONDS_IDLE"
