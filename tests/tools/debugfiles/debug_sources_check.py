#!/usr/bin/env python3
"""Every debug source the build can give a program -- map, .tds, TD32 in the image, .jdbg and a
JCLDEBUG section -- against addr2line, on the call sites of the program's own code.

debug_sources_check.py TOOL IMAGE WORKDIR SOURCE_DIR
TOOL is vidudo_debug_files; IMAGE an unstripped program without stored data."""
import os
import re
import shutil
import subprocess
import sys

from debug_variants import PREFIX as prefix, addr2line, bare_name, build_variants, image_base, own, run

tool, image, work, source_dir = sys.argv[1:5]
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
base = image_base(image)

# Call sites and function starts in the program's own code (not the runtime's), outside inlined code.
calls, starts = [], {}
function = None
for line in run(prefix + "objdump", "-d", "--no-show-raw-insn", image).splitlines():
    m = re.match(r"^([0-9a-f]+) <(.+)>:$", line)
    if m:
        function = m.group(2)
        starts[int(m.group(1), 16)] = function
        continue
    m = re.match(r"^\s+([0-9a-f]+):\s+call\s", line)
    if m:
        calls.append(int(m.group(1), 16))


sites = addr2line(image, calls)
chosen = [a for a in calls if own(sites[a], source_dir)][:200]
start_frames = addr2line(image, list(starts))
starts_chosen = [a for a in starts if a in start_frames and own(start_frames[a], source_dir)][:50]
if len(chosen) < 20:
    sys.exit("only %d call sites of the program's own code" % len(chosen))

variants = build_variants(tool, image, work)

failures = []
for name, (exe, kind) in variants.items():
    rvas = chosen + starts_chosen
    out = subprocess.run([tool, "lookup", exe], input="".join("%X\n" % (a - base - 0) for a in rvas),
                         capture_output=True, text=True).stdout.splitlines()
    if not out or out[0] != kind:
        failures.append("%s: source %r, wanted %r" % (name, out[:1], kind))
        continue
    answers = {int(l.split("\t")[0], 16): l.split("\t")[1:] for l in out[1:]}
    for a in chosen:
        fn, path, line = sites[a][0]
        got = answers.get(a - base)
        if not got or got == ["-"] or got[3] != line or got[2] != bare_name(fn):
            failures.append("%s: %x wanted %s:%s %s, got %s" % (name, a, os.path.basename(path), line, fn, got))
    for a in starts_chosen:
        got = answers.get(a - base)
        if got and got != ["-"] and got[4] != "0":
            failures.append("%s: line in procedure %s at the start of %s" % (name, got[4], starts[a]))
    print("%s: %d call sites, %d starts" % (name, len(chosen), len(starts_chosen)))

for f in failures[:40]:
    print(f)
sys.exit(1 if failures else 0)
