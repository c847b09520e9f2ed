# Shared by the bench scripts: builds the controller, starts it and net-snmp's
# snmpd side by side on loopback, each with a private folder, and measures a
# process's CPU time. Source it; it cleans up on exit.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
command -v snmpd >/dev/null || { echo "snmpd is not installed (apt-get install snmpd snmp)"; exit 1; }
command -v python3 >/dev/null || { echo "python3 is not installed"; exit 1; }

SIGNCTL=${SIGNCTL:-build/run/signctl}
if [ -z "${SIGNCTL_PREBUILT:-}" ]; then
  cmake -S . -B build/run -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/run -j 2 --target signctl >/dev/null
fi
COMMUNITY=fernly
CLIENT=bench/snmp_get_client.py

free_port() {
  python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
WORK=$(mktemp -d)
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
start_controller() {
  CONTROLLER_PORT=$(free_port)
  mkdir "$WORK/state"
  printf 'ephemeral\nport 161 %s\n' "$CONTROLLER_PORT" > "$WORK/state/net.conf"
  mkfifo "$WORK/console"
  SIGNCTL_RESTART=exit "$SIGNCTL" "$WORK/state" < "$WORK/console" > "$WORK/controller.log" 2>&1 &
  CONTROLLER_PID=$!
  exec 3> "$WORK/console"
}

# snmpd on 127.0.0.1 only, with the least configuration that answers the
# same requests, its files in the private folder.
start_snmpd() {
  SNMPD_PORT=$(free_port)
  mkdir -p "$WORK/snmpd"
  cat > "$WORK/snmpd/snmpd.conf" <<CONF
rocommunity $COMMUNITY 127.0.0.1
sysDescr bench
CONF
  SNMP_PERSISTENT_DIR="$WORK/snmpd" snmpd -f -C -c "$WORK/snmpd/snmpd.conf" -Ln -m "" \
    -p "$WORK/snmpd/snmpd.pid" "udp:127.0.0.1:$SNMPD_PORT" > "$WORK/snmpd/log" 2>&1 &
  SNMPD_PID=$!
}

# Until the agent on port $1 answers; the controller's network comes up
# about ten seconds after it starts.
wait_for() {
  for _ in $(seq 60); do
    snmpget -v2c -c "$COMMUNITY" -t 1 -r 0 "127.0.0.1:$1" 1.3.6.1.2.1.1.1.0 >/dev/null 2>&1 && return 0
  done
  echo "no answer on port $1"; tail -20 "$WORK/controller.log"; exit 1
}

start_both() {
  start_controller
  start_snmpd
  wait_for "$CONTROLLER_PORT"
  wait_for "$SNMPD_PORT"
}

# CPU time (user + system, every thread that ever ran) of process $1, in
# seconds.
cpu_seconds() {
  python3 - "$1" <<'PY'
import os, sys
f = open("/proc/%s/stat" % sys.argv[1]).read().rsplit(")", 1)[1].split()
print((int(f[11]) + int(f[12])) / os.sysconf("SC_CLK_TCK"))
PY
}

# ratio A B: A / B with two decimals.
ratio() { python3 -c "import sys; a, b = float(sys.argv[1]), float(sys.argv[2]); print('%.2f' % (a / b) if b else 'n/a')" "$1" "$2"; }

# Per host thread of process $1: "tid name cpu-ticks context-switches", one a
# line (threads carry their kernel thread's name).
thread_snapshot() {
  python3 - "$1" <<'PY'
import os, sys
pid = sys.argv[1]
for t in os.listdir("/proc/%s/task" % pid):
    try:
        name = open("/proc/%s/task/%s/comm" % (pid, t)).read().strip().replace(" ", "_")
        f = open("/proc/%s/task/%s/stat" % (pid, t)).read().rsplit(")", 1)[1].split()
        cs = sum(int(l.split()[1]) for l in open("/proc/%s/task/%s/status" % (pid, t)) if "ctxt_switches" in l)
        print(t, name, int(f[11]) + int(f[12]), cs)
    except OSError:
        pass
PY
}

# The busiest threads between two snapshots ($1, $2 files) over $3 seconds:
# share of a core and wake-ups a second.
busiest_threads() {
  python3 - "$1" "$2" "$3" <<'PY'
import os, sys
def load(p):
    return {l.split()[0]: l.split()[1:] for l in open(p)}
a, b, secs = load(sys.argv[1]), load(sys.argv[2]), float(sys.argv[3])
tick = os.sysconf("SC_CLK_TCK")
rows = []
for t, (name, cpu, cs) in b.items():
    _, cpu0, cs0 = a.get(t, (name, 0, 0))
    rows.append(((int(cpu) - int(cpu0)) * 100.0 / tick / secs, (int(cs) - int(cs0)) / secs, name))
rows.sort(reverse=True)
for pct, wakes, name in rows[:6]:
    if pct > 0 or wakes >= 1:
        print("  %-16s %6.2f %% of a core, %6.0f switches/s" % (name, pct, wakes))
PY
}
