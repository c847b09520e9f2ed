#!/usr/bin/env bash
# GET round trips per second: the controller against net-snmp's snmpd, in
# the same run, with the same client (bench/snmp_get_client.py), both on
# loopback. Needs Debian's snmpd package and python3. Not part of the tests.
#
#   bench/snmp_get_rate.sh [seconds per agent, default 10]
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-10}
command -v snmpd >/dev/null || { echo "snmpd is not installed (apt-get install snmpd)"; exit 1; }

cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DSIGN_TESTS=OFF >/dev/null
cmake --build build/bench -j "$(nproc)" --target signctl >/dev/null

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
WORK=$(mktemp -d)
CONTROLLER_PORT=$(free_port)
SNMPD_PORT=$(free_port)
cleanup() {
  [ -n "${CONTROLLER_PID:-}" ] && kill "$CONTROLLER_PID" 2>/dev/null || true
  [ -n "${SNMPD_PID:-}" ] && kill "$SNMPD_PID" 2>/dev/null || true
  exec 3>&- 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

# The controller on a fresh state folder, its SNMP port on CONTROLLER_PORT;
# its console reads a pipe that stays open while the script runs.
mkdir "$WORK/state"
printf 'ephemeral\nport 161 %s\n' "$CONTROLLER_PORT" > "$WORK/state/net.conf"
mkfifo "$WORK/console"
SIGNCTL_RESTART=exit ./build/bench/signctl "$WORK/state" < "$WORK/console" > "$WORK/controller.log" 2>&1 &
CONTROLLER_PID=$!
exec 3> "$WORK/console"

# snmpd with the least configuration that answers the same GET.
cat > "$WORK/snmpd.conf" <<CONF
rocommunity fernly 127.0.0.1
sysDescr bench
CONF
snmpd -f -C -c "$WORK/snmpd.conf" -Ln -m "" -p "$WORK/snmpd.pid" "udp:127.0.0.1:$SNMPD_PORT" > "$WORK/snmpd.log" 2>&1 &
SNMPD_PID=$!

wait_for() {  # until the agent answers; the controller's network comes up 10 s after start
  for _ in $(seq 60); do
    snmpget -v2c -c fernly -t 1 -r 0 "127.0.0.1:$1" 1.3.6.1.2.1.1.1.0 >/dev/null 2>&1 && return 0
  done
  echo "no answer on port $1"; tail -20 "$WORK/controller.log"; exit 1
}
wait_for "$CONTROLLER_PORT"
wait_for "$SNMPD_PORT"

read -r C_RATE C_DONE C_LOST < <(python3 bench/snmp_get_client.py "$CONTROLLER_PORT" fernly "$SECONDS_EACH")
read -r S_RATE S_DONE S_LOST < <(python3 bench/snmp_get_client.py "$SNMPD_PORT" fernly "$SECONDS_EACH")
echo "controller: $C_RATE GET/s ($C_DONE answered, $C_LOST lost)"
echo "snmpd:      $S_RATE GET/s ($S_DONE answered, $S_LOST lost)"
python3 -c "print('ratio controller/snmpd: %.2f' % ($C_RATE / $S_RATE))"
