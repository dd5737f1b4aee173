#!/usr/bin/env python3
"""A program as built, mapped into the lookup program under Wine: the start and the call sites
of one of its functions resolve through its stored data to kind 4, its unit and addr2line's lines.

lookup_program_check.py TOOL IMAGE FUNCTION UNIT RUNNER... LOOKUP_EXE
TOOL is vidudo_debug_files (for the function's address), RUNNER the Wine runner."""
import os
import re
import subprocess
import sys

tool, image, function, unit = sys.argv[1:5]
runner = sys.argv[5:]
prefix = "i686-w64-mingw32-"


def run(*args, **kw):
    return subprocess.run(args, check=True, capture_output=True, text=True, **kw).stdout


rva = int(run(tool, "symbol", image, function).strip(), 16)
base = int(re.search(r"ImageBase\s+([0-9a-fA-F]+)", run(prefix + "objdump", "-p", image)).group(1), 16)
start = base + rva
calls, inside = [], False
for line in run(prefix + "objdump", "-d", "--no-show-raw-insn", image,
                "--start-address=0x%x" % start, "--stop-address=0x%x" % (start + 0x400)).splitlines():
    m = re.match(r"^([0-9a-f]+) <(.+)>:$", line)
    if m:
        inside = int(m.group(1), 16) == start
        continue
    m = re.match(r"^\s+([0-9a-f]+):\s+call\s", line)
    if inside and m:
        calls.append(int(m.group(1), 16))
addresses = [start] + calls

def frames_of(addresses):
    """Per address its frames' (file, line), innermost first (more than one: inlined)."""
    out, current = {}, None
    for l in run(prefix + "addr2line", "-i", "-a", "-e", image, input="".join("%x\n" % a for a in addresses)).splitlines():
        if l.startswith("0x"):
            current = out.setdefault(int(l, 16), [])
        elif current is not None:
            path, _, line = l.split(" (discriminator")[0].rpartition(":")
            current.append((os.path.basename(path), int(line) if line.isdigit() else 0))
    return out


frames = frames_of(addresses)
wanted = {a - base: frames[a][0][1] for a in addresses}
# Code inlined from a header shows a line of the unit between the function's first line and the
# call it was inlined at.
inlined = {a - base: (frames[start][0][1], frames[a][-1][1]) for a in addresses
           if frames[a][0][0] != unit and frames[a][-1][0] == unit}

windows_image = "Z:" + os.path.abspath(image).replace("/", "\\")
out = subprocess.run(runner + [windows_image] + ["%x" % (a - base) for a in addresses],
                     capture_output=True, text=True, timeout=120)
answers = {}
for line in out.stdout.splitlines():
    f = line.split("\t")
    if len(f) == 7:
        answers[int(f[0], 16)] = f[1:]
failures = []
for r, line in wanted.items():
    got = answers.get(r)
    fits = got and (got[4] == str(line) or (r in inlined and got[4].isdigit()
                                            and inlined[r][0] <= int(got[4]) <= inlined[r][1]))
    if not fits or got[0] != "4" or got[1] != unit or got[3] != function.split("(")[0]:
        failures.append("%x: wanted kind 4 %s %s line %s, got %s" % (r, unit, function, line, got))
    elif r == rva and got[5] != "0":
        failures.append("line distance %s at the start" % got[5])
print("%d addresses of %s" % (len(wanted), function))
for f in failures:
    print(f)
if not answers:
    print(out.stdout, out.stderr)
sys.exit(1 if failures or len(wanted) < 2 else 0)
