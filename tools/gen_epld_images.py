#!/usr/bin/env python3
"""Makes the synthetic EPLD configuration images that the board model accepts.

The controller carries its EPLD images as zlib streams (header 0x78 0xDA) that
inflate to 98,023 bytes each. The real configuration data are board data we
do not have, so this tool makes stand-ins of the same sizes, reproducibly:

  offset 0     16 bytes 0xFF           preamble
  offset 16    6A 0F A5 3C             sync word
  offset 20    16 bytes                part number, ASCII, zero padded
  offset 36    u32, big-endian         image length (98023)
  offset 40    ...                     configuration body
  last 4       u32, big-endian         CRC-32 of bytes 16 .. length-5

The passive-serial port model in platform/board checks the sync word, the
length and the CRC, so an image that was cut or corrupted on its way in is
refused as the device would refuse it.

The body is a pseudo-random part (incompressible) followed by a regular part;
its split is searched so that each image compresses to its stated size.

Usage: tools/gen_epld_images.py [output folder]   (default data/epld)
"""
import os
import random
import struct
import sys
import zlib

IMAGE_SIZE = 98023
SYNC = bytes([0x6A, 0x0F, 0xA5, 0x3C])
HEADER = 40

# Part number -> compressed size in bytes.
IMAGES = {
    "PX2214087": 36901,
    "PX5581320": 36344,
    "PX6642915": 38533,
    "PX7730468": 38185,
}


def build(part, random_len, seed):
    rng = random.Random(f"{part}/{seed}")
    body_len = IMAGE_SIZE - HEADER - 4
    noise = bytes(rng.getrandbits(8) for _ in range(random_len))
    # Regular part: repeated 32-byte frames with a slowly changing counter,
    # the way unused logic blocks look in a configuration stream.
    frames = bytearray()
    n = 0
    while len(frames) < body_len - random_len:
        frames += bytes([0x00] * 24) + struct.pack(">I", n // 7) + b"\xff\xff\x00\x00"
        n += 1
    body = noise + bytes(frames[: body_len - random_len])
    head = b"\xff" * 16 + SYNC + part.encode().ljust(16, b"\0") + struct.pack(">I", IMAGE_SIZE)
    data = head + body
    data += struct.pack(">I", zlib.crc32(data[16:]) & 0xFFFFFFFF)
    assert len(data) == IMAGE_SIZE
    return data


def compressed(data):
    return zlib.compress(data, 9)


def make(part, target):
    for seed in range(64):
        lo, hi = 0, IMAGE_SIZE - HEADER - 4
        # Size grows with the random part; find the region, then walk it.
        while hi - lo > 64:
            mid = (lo + hi) // 2
            if len(compressed(build(part, mid, seed))) < target:
                lo = mid
            else:
                hi = mid
        for r in range(max(0, lo - 64), hi + 64):
            z = compressed(build(part, r, seed))
            if len(z) == target:
                return z
    raise SystemExit(f"{part}: no layout compresses to {target} bytes")


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "data", "epld")
    os.makedirs(out, exist_ok=True)
    for part, target in IMAGES.items():
        z = make(part, target)
        assert z[:2] == b"\x78\xda" and len(zlib.decompress(z)) == IMAGE_SIZE
        with open(os.path.join(out, part + ".zlib"), "wb") as f:
            f.write(z)
        print(f"{part}.zlib {len(z)} bytes")


if __name__ == "__main__":
    main()
