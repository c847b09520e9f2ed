#!/usr/bin/env python3
"""GET round trips per second against one SNMP agent on loopback.

Sends SNMPv2c GETs of sysDescr.0 one after another (each waits for its
answer, as a polling manager does) for the given number of seconds and
prints the rate. Usage: snmp_get_client.py PORT COMMUNITY SECONDS
"""
import socket
import sys
import time

SYS_DESCR = bytes([0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x00])


def tlv(tag, body):
    n = len(body)
    if n < 128:
        head = bytes([tag, n])
    elif n < 256:
        head = bytes([tag, 0x81, n])
    else:
        head = bytes([tag, 0x82, n >> 8, n & 0xFF])
    return head + body


def get_request(community, request_id):
    varbind = tlv(0x30, SYS_DESCR + b"\x05\x00")
    pdu = tlv(0xA0, tlv(0x02, request_id.to_bytes(4, "big")) + b"\x02\x01\x00\x02\x01\x00" + tlv(0x30, varbind))
    return tlv(0x30, b"\x02\x01\x01" + tlv(0x04, community.encode()) + pdu)


def request_id_of(answer):
    # SEQUENCE, version, community, then the PDU whose first field is the id.
    i = 2 if answer[1] < 0x80 else 2 + (answer[1] & 0x7F)
    i += 3  # version
    i += 2 + answer[i + 1]  # community
    i += 2 if answer[i + 1] < 0x80 else 2 + (answer[i + 1] & 0x7F)  # PDU header
    n = answer[i + 1]
    return int.from_bytes(answer[i + 2:i + 2 + n], "big")


def main():
    port, community, seconds = int(sys.argv[1]), sys.argv[2], float(sys.argv[3])
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.settimeout(2.0)
    s.connect(("127.0.0.1", port))
    done = lost = 0
    request_id = 1
    end = time.monotonic() + seconds
    start = time.monotonic()
    while time.monotonic() < end:
        s.send(get_request(community, request_id))
        try:
            while True:
                answer = s.recv(4096)
                if request_id_of(answer) == request_id:
                    break
            done += 1
        except socket.timeout:
            lost += 1
        request_id += 1
    elapsed = time.monotonic() - start
    print("%.0f %d %d" % (done / elapsed, done, lost))


if __name__ == "__main__":
    main()
