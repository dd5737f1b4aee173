#!/usr/bin/env python3
"""The crash-test program without stored data, given each debug source the build can make (map,
.tds, TD32 in the image, .jdbg, a JCLDEBUG section), dumps its stack under Wine: every call-stack
line of its own code names the function and line addr2line gives, and the chain is resolved.

usage: crashlab_sources_check.py RUNNER... -- TOOL PLAIN WORKDIR SOURCE_DIR"""
import os
import re
import shutil
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools", "debugfiles"))
from debug_variants import addr2line, bare_name, build_variants, image_base, own  # noqa: E402
from lab_checks import LabChecks  # noqa: E402

lab = LabChecks()
tool, plain, work, source_dir = lab.programs[:4]
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
base = image_base(plain)
failures = lab.failures

for variant, (exe, kind) in build_variants(tool, plain, work, "crashlab").items():
    module = os.path.basename(exe).lower()
    out = lab.output(exe, "stack", encoding="latin-1")
    rows = []
    for line in out.splitlines():
        m = re.match(r"item \d+\|(\d)\|([^|]*)\|([0-9A-F]{8})\|([^|]*)\|([^|]*)\|([^|]*)\|(-?\d+)$", line)
        if m and m.group(2).lower() == module:
            rows.append((int(m.group(3), 16), int(m.group(1)), m.group(6), int(m.group(7))))
    frames = addr2line(plain, [base + r[0] for r in rows])
    compared, chain = 0, []
    for offset, item_kind, procedure, line in rows:
        where = frames.get(base + offset, [])
        if not own(where, source_dir):
            continue
        name, path, want = where[0]
        compared += 1
        chain.append(procedure)
        # addr2line drops one of the leading underscores of a C name ("__wrap_main").
        if item_kind != 4 or procedure.lstrip("_") != bare_name(name).lstrip("_") or str(line) != want:
            failures.append("%s: %X is %s line %s of %s, the dump says kind %d %s line %d"
                            % (variant, offset, bare_name(name), want, os.path.basename(path), item_kind, procedure, line))
    wanted = ["ChainC", "ChainB", "ChainA", "main"]
    at = 0
    for procedure in chain:
        if at < len(wanted) and procedure == wanted[at]:
            at += 1
    if at < len(wanted):
        failures.append("%s: the chain %s not in %s" % (variant, wanted, chain))
    print("%s (%s): %d call-stack lines compared" % (variant, kind, compared))

for f in failures[:40]:
    print("FAIL", f)
sys.exit(1 if failures else 0)
