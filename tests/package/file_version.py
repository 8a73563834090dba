#!/usr/bin/env python3
"""Prints the file version (major.minor.patch) from the fixed part of a
Windows executable's version resource; fails when there is none."""
import struct
import sys

SIGNATURE = struct.pack("<I", 0xFEEF04BD)

data = open(sys.argv[1], "rb").read()
at = data.find(SIGNATURE)
if at < 0:
    sys.exit(1)
_, _, most, least = struct.unpack_from("<4I", data, at)
print(f"{most >> 16}.{most & 0xFFFF}.{least >> 16}")
