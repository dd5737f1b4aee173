#!/usr/bin/env python3
"""Every line-table row of a stamped program, read back through its stored data, against
addr2line: of the rows at one address the last one counts (addr2line answers with it too).
Rows of header code inlined into a unit name a line of the unit's own file instead (most often
the call's own line, the outermost frame addr2line -i gives).

usage: stamped_lines_check.py READER PROGRAM [MIN_ROWS]
"""
import os
import re
import subprocess
import sys

OBJDUMP = "i686-w64-mingw32-objdump"
ADDR2LINE = "i686-w64-mingw32-addr2line"
ROW = re.compile(r"^(\S+)\s+(\d+|-)\s+(0x[0-9a-f]+)(?:\s+\d+)?(?:\s+x)?\s*$")


def rows(program):
    """address -> (file, line) of the last row there, in line-program order; every (file, line)."""
    out = subprocess.run([OBJDUMP, "--dwarf=decodedline", program], check=True, capture_output=True, text=True).stdout
    last, every = {}, set()
    for text in out.splitlines():
        m = ROW.match(text)
        if not m:
            continue
        address = int(m.group(3), 16)
        if address < 0x401000:  # rows of code the linker dropped
            continue
        # A sequence's end is a row too: rows just before it at its address cover no code.
        last[address] = None if m.group(2) == "-" else (os.path.basename(m.group(1)), int(m.group(2)))
        every.add(last[address])
    return {a: r for a, r in last.items() if r}, every


def main():
    reader, program = sys.argv[1], sys.argv[2]
    min_rows = int(sys.argv[3]) if len(sys.argv) > 3 else 50
    expected, lines_of_rows = rows(program)
    addresses = sorted(expected)
    feed = "".join("%x\n" % a for a in addresses)
    a2l = subprocess.run([ADDR2LINE, "-i", "-a", "-e", program], input=feed, check=True, capture_output=True,
                         text=True).stdout.split("\n")
    chains = []  # per address: its frames, innermost first
    for text in a2l:
        if text.startswith("0x"):
            chains.append([])
        elif text and chains:
            chains[-1].append(text)
    ours = subprocess.run([reader, "lookup", program], input=feed, capture_output=True, text=True)
    if ours.returncode != 0:
        sys.exit("no stored data in %s (exit %d): %s" % (program, ours.returncode, ours.stderr))
    ours = ours.stdout.split("\n")

    def frame(text):
        path, _, line = re.sub(r" \(discriminator \d+\)$", "", text).rpartition(":")
        return (os.path.basename(path), int(line) if line.isdigit() else 0)

    failures = slips = inlined = at_call = 0
    for i, address in enumerate(addresses):
        want = frame(chains[i][0])
        outer = frame(chains[i][-1])
        fields = ours[i].split("\t")
        got = (fields[2], int(fields[3])) if len(fields) > 3 else ("-", 0)
        if got != want and got == expected[address] and got[1] == want[1]:
            # addr2line names the unit's own file for some rows of inlined header code, at the
            # header's line (past the end of that file): the line table and we agree.
            slips += 1
        elif got != want and got[0] == fields[1] and got[0] != expected[address][0] and got in lines_of_rows:
            # Header code inlined into the unit, shown at a line of the unit's own file.
            inlined += 1
            at_call += got == outer
        elif got != want:
            failures += 1
            if failures <= 20:
                print("%08x: addr2line %s:%d, line table %s:%d, stored data %s:%d"
                      % ((address,) + want + expected[address] + got))
    print("%d inlined header rows in the unit's own file, %d of them at the call's own line" % (inlined, at_call))
    print("%d rows, %d differ, %d where only addr2line's file slips" % (len(addresses), failures, slips))
    if len(addresses) < min_rows:
        sys.exit("only %d rows: the program has lost its line table" % len(addresses))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
