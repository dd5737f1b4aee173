#!/usr/bin/env python3
"""A stamped program as built reads back the options of its options file (from the resource and
from the tail) and its code entries at the addresses nm gives, and names a procedure with its unit
and the line addr2line gives.

usage: stamped_program_check.py READER PROGRAM OPTIONS_FILE SOURCE PROCEDURE
"""
import os
import re
import subprocess
import sys

NM = "i686-w64-mingw32-nm"
ADDR2LINE = "i686-w64-mingw32-addr2line"


def main():
    reader, program, options_file, source, procedure = sys.argv[1:6]
    failures = []
    wanted = [l.rstrip("\n") for l in open(options_file, encoding="utf-8")
              if l.strip() and not l.startswith("#") and not l.startswith(("Entry.", "DebugDataPassword="))]
    for where in ("resource", "tail"):
        r = subprocess.run([reader, "options", program, where], capture_output=True, text=True, encoding="utf-8")
        if r.returncode != 0:
            failures.append("%s: no options (exit %d) %s" % (where, r.returncode, r.stderr))
            continue
        got = set(r.stdout.splitlines())
        for line in wanted:
            if line not in got:
                failures.append("%s: %s not read back" % (where, line))

    symbols = subprocess.run([NM, program], check=True, capture_output=True, text=True).stdout
    m = re.search(r"^([0-9a-f]{8}) T __Z%d%sv$" % (len(procedure), procedure), symbols, re.M)
    if not m:
        sys.exit("no symbol of %s in %s" % (procedure, program))
    address = m.group(1)
    # Entries of plain functions without arguments: "Entry.N=Name()" is the symbol __Z<len>Namev.
    for entry in (l.strip() for l in open(options_file, encoding="utf-8") if l.startswith("Entry.")):
        key, _, name = entry.partition("=")
        e = re.search(r"^([0-9a-f]{8}) T __Z%d%sv$" % (len(name) - 2, re.escape(name[:-2])), symbols, re.M)
        r = subprocess.run([reader, "entry", program, key[len("Entry."):]], capture_output=True, text=True)
        if not e or r.stdout.strip() != e.group(1):
            failures.append("%s: read back %r, nm %s" % (entry, r.stdout.strip(), e.group(1) if e else "none"))
        else:
            print("%s at %s" % (entry, e.group(1)))
    where = subprocess.run([ADDR2LINE, "-e", program, address], check=True, capture_output=True, text=True).stdout
    path, _, line = re.sub(r" \(discriminator \d+\)", "", where.strip()).rpartition(":")
    defined = next(i for i, l in enumerate(open(source, encoding="utf-8"), 1) if re.match(r"int %s\(\)" % procedure, l))
    r = subprocess.run([reader, "lookup", program], input=address + "\n", capture_output=True, text=True)
    fields = r.stdout.rstrip("\n").split("\t")
    # The procedure's first row is its name's line or, optimised, the line of its brace.
    want = [address, os.path.basename(source), os.path.basename(source), line, "", procedure, "0"]
    if fields != want or os.path.basename(path) != want[1] or int(line) not in (defined, defined + 1):
        failures.append("lookup of %s: stored data %s, addr2line %s, want %s" % (procedure, fields, where.strip(), want))
    else:
        print("%s at %s: %s line %s" % (procedure, address, want[1], line))
    for f in failures:
        print("FAIL", f)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
