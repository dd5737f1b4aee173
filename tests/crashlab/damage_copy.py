#!/usr/bin/env python3
"""Writes a copy of a stamped program with its stored-data tail damaged.
usage: damage_copy.py IN OUT size|cut
  size: the block size says 0x7FFFFFFF; cut: the file ends in the middle of the block."""
import struct
import sys

src, dst, how = sys.argv[1:4]
data = open(src, "rb").read()
n, mark = struct.unpack("<II", data[-8:])
if mark != 0x100FAB10 or n + 8 > len(data):
    sys.exit("%s carries no stored-data tail" % src)
if how == "size":
    out = data[:-8] + struct.pack("<II", 0x7FFFFFFF, mark)
else:
    out = data[:len(data) - 8 - n // 2]
open(dst, "wb").write(out)
