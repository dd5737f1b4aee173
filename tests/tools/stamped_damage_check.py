#!/usr/bin/env python3
"""Damaged and missing reporter data read natively: no stored data, and the readers allocate
nothing over 1 MB for it.

usage: stamped_damage_check.py READER STAMPED PLAIN WORKDIR
"""
import os
import struct
import subprocess
import sys

LIMIT = 1 << 20


def check(reader, path):
    r = subprocess.run([reader, "check", path], capture_output=True, text=True)
    facts = dict(line.split(": ", 1) for line in r.stdout.splitlines() if ": " in line)
    return r.returncode, facts


def main():
    reader, stamped, plain, work = sys.argv[1:5]
    os.makedirs(work, exist_ok=True)
    data = open(stamped, "rb").read()
    n, mark = struct.unpack("<II", data[-8:])
    if mark != 0x100FAB10 or n + 8 > len(data):
        sys.exit("%s carries no tail block" % stamped)
    block_start = len(data) - 8 - n
    flipped = block_start + n - 40
    # name: (bytes, whether the 1 MB bound holds: a damaged size allocates nothing; damage
    # inside sound sizes may cost what those sizes hold)
    variants = {
        "size 0x7FFFFFFF": (data[:-8] + struct.pack("<II", 0x7FFFFFFF, mark), True),
        "size past the file": (data[:-8] + struct.pack("<II", len(data), mark), True),
        "cut mid-block": (data[:block_start + n // 2], True),
        "cut before the mark": (data[:-2], True),
        "size one short": (data[:-8] + struct.pack("<II", n - 1, mark), False),
        "debug data bit flipped": (data[:flipped] + bytes([data[flipped] ^ 0x10]) + data[flipped + 1:], False),
    }
    failures = []
    code, facts = check(reader, stamped)
    if code != 0 or facts.get("tail") != "yes" or facts.get("resource") != "yes":
        failures.append("the intact program: %s (exit %d)" % (facts, code))
    code, facts = check(reader, plain)
    if code != 3 or facts.get("tail") != "no" or facts.get("resource") != "no":
        failures.append("the program without data: %s (exit %d)" % (facts, code))
    for name, (bytes_, bounded) in variants.items():
        path = os.path.join(work, name.replace(" ", "_") + ".exe")
        open(path, "wb").write(bytes_)
        code, facts = check(reader, path)
        largest = int(facts.get("largest allocation", "-1"))
        if facts.get("tail") != "no" or largest < 0 or (bounded and largest > LIMIT):
            failures.append("%s: %s (exit %d)" % (name, facts, code))
        else:
            print("%s: no debug data, largest allocation %d bytes" % (name, largest))
    for f in failures:
        print("FAIL", f)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
