#!/usr/bin/env python3
"""SNMPv2c requests per second against one agent on loopback.

Sends requests one after another (each waits for its answer, as a polling
manager does) for the given number of seconds and prints
"<answers per second> <answered> <lost>".

  snmp_get_client.py PORT COMMUNITY SECONDS [get|walk] [OID]

get (default): GETs of OID (default sysDescr.0).
walk: GETNEXTs through the subtree OID (default the system group), starting
over at its root when the walk leaves it.
"""
import socket
import sys
import time


def tlv(tag, body):
    n = len(body)
    if n < 128:
        head = bytes([tag, n])
    elif n < 256:
        head = bytes([tag, 0x81, n])
    else:
        head = bytes([tag, 0x82, n >> 8, n & 0xFF])
    return head + body


def encode_oid(text):
    arcs = [int(a) for a in text.strip(".").split(".")]
    body = bytearray([arcs[0] * 40 + arcs[1]])
    for arc in arcs[2:]:
        chunk = [arc & 0x7F]
        arc >>= 7
        while arc:
            chunk.append(0x80 | (arc & 0x7F))
            arc >>= 7
        body += bytes(reversed(chunk))
    return tlv(0x06, bytes(body))


def request(community, pdu_tag, request_id, oid):
    varbind = tlv(0x30, oid + b"\x05\x00")
    pdu = tlv(pdu_tag, tlv(0x02, request_id.to_bytes(4, "big")) + b"\x02\x01\x00\x02\x01\x00" + tlv(0x30, varbind))
    return tlv(0x30, b"\x02\x01\x01" + tlv(0x04, community.encode()) + pdu)


def read_tlv(data, i):
    """(tag, start of body, end of body) of the TLV at i."""
    tag, n = data[i], data[i + 1]
    i += 2
    if n & 0x80:
        count = n & 0x7F
        n = int.from_bytes(data[i:i + count], "big")
        i += count
    return tag, i, i + n


def answer_of(data):
    """(request id, first varbind's OID TLV, its value's tag)."""
    _, i, _ = read_tlv(data, 0)  # message
    _, _, i = read_tlv(data, i)  # version
    _, _, i = read_tlv(data, i)  # community
    _, i, _ = read_tlv(data, i)  # PDU
    _, s, e = read_tlv(data, i)  # request id
    request_id = int.from_bytes(data[s:e], "big")
    _, _, i = read_tlv(data, e)  # error status
    _, _, i = read_tlv(data, i)  # error index
    _, i, _ = read_tlv(data, i)  # varbind list
    _, i, _ = read_tlv(data, i)  # first varbind
    _, s, e = read_tlv(data, i)  # name
    value_tag = data[e]
    return request_id, data[i:e], value_tag


def main():
    port, community, seconds = int(sys.argv[1]), sys.argv[2], float(sys.argv[3])
    mode = sys.argv[4] if len(sys.argv) > 4 else "get"
    root = encode_oid(sys.argv[5] if len(sys.argv) > 5 else ("1.3.6.1.2.1.1.1.0" if mode == "get" else "1.3.6.1.2.1.1"))
    pdu_tag = 0xA0 if mode == "get" else 0xA1
    root_body = root[2:]
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.settimeout(2.0)
    s.connect(("127.0.0.1", port))
    done = lost = 0
    request_id = 1
    oid = root
    end = time.monotonic() + seconds
    start = time.monotonic()
    while time.monotonic() < end:
        s.send(request(community, pdu_tag, request_id, oid))
        try:
            while True:
                answer = s.recv(4096)
                got_id, name, value_tag = answer_of(answer)
                if got_id == request_id:
                    break
            done += 1
            if mode == "walk":
                # Next from the answer while it is inside the subtree.
                inside = name[2:].startswith(root_body) and value_tag not in (0x80, 0x81, 0x82)
                oid = name if inside else root
        except socket.timeout:
            lost += 1
        request_id = request_id % 0x7FFFFFFF + 1
    elapsed = time.monotonic() - start
    print("%.0f %d %d" % (done / elapsed, done, lost))


if __name__ == "__main__":
    main()
