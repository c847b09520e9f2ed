#!/usr/bin/env python3
"""Capture the first SNMP datagram a command sends to 127.0.0.1 and print it
in hex. The command's arguments may name the target as TARGET, which becomes
127.0.0.1:<port> of a socket opened here. Used to cross-check the agent's
golden messages against net-snmp's tools, e.g.

    tools/snmp_capture.py snmpget -v1 -c public TARGET 1.3.6.1.2.1.1.1.0

The command gets no answer and gives up after its own time-out (1 s, no
retries are added to the arguments)."""
import socket
import subprocess
import sys


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("127.0.0.1", 0))
    sock.settimeout(5)
    target = "127.0.0.1:%d" % sock.getsockname()[1]
    args = [a.replace("TARGET", target) for a in sys.argv[1:]]
    args[1:1] = ["-r", "0", "-t", "1"]
    env = {"MIBS": "", "MIBDIRS": "/nonexistent", "PATH": "/usr/bin:/bin"}
    proc = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    try:
        data, _ = sock.recvfrom(65535)
    except socket.timeout:
        print("no datagram received", file=sys.stderr)
        proc.kill()
        return 1
    finally:
        proc.wait()
    print(" ".join("%02X" % b for b in data))
    return 0


if __name__ == "__main__":
    sys.exit(main())
