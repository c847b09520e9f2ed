#!/usr/bin/env bash
# GET round trips per second with 1 and with 4 clients: the controller
# against net-snmp's snmpd, in the same run, with the same client
# (bench/snmp_get_client.py), both on loopback. Needs Debian's snmpd and
# snmp packages and python3. Not part of the tests.
#
#   bench/snmp_get_rate.sh [seconds per measurement, default 10]
source "$(dirname "$0")/common.sh"
SECONDS_EACH=${1:-10}
start_both

# Sum of the rates of $2 clients on port $1 running at once.
rate() {
  local pids=() i
  for i in $(seq "$2"); do
    python3 "$CLIENT" "$1" "$COMMUNITY" "$SECONDS_EACH" get > "$WORK/client.$i" &
    pids+=($!)
  done
  wait "${pids[@]}"
  cat "$WORK"/client.* | awk '{ r += $1; d += $2; l += $3 } END { printf "%.0f %d %d\n", r, d, l }'
  rm -f "$WORK"/client.*
}

for clients in 1 4; do
  read -r C_RATE C_DONE C_LOST < <(rate "$CONTROLLER_PORT" "$clients")
  read -r S_RATE S_DONE S_LOST < <(rate "$SNMPD_PORT" "$clients")
  echo "$clients client(s): controller $C_RATE GET/s ($C_DONE answered, $C_LOST lost)," \
       "snmpd $S_RATE GET/s ($S_DONE answered, $S_LOST lost), ratio $(ratio "$C_RATE" "$S_RATE")"
done
