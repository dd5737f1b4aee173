#!/usr/bin/env python3
"""Runs the crash-test program's scenarios under Wine and checks what they print against the
binary itself: addr2line names the function of every call site, objdump shows the call.
Usage: crashlab_check.py RUNNER... -- CRASHLAB CRASHLAB_GUI LAUNCHER PLAIN DAMAGED..."""
import re
import subprocess
import sys

from lab_checks import LabChecks

ADDR2LINE = "i686-w64-mingw32-addr2line"
OBJDUMP = "i686-w64-mingw32-objdump"
IMAGE_BASE = 0x400000

lab = LabChecks()
crashlab, crashlab_gui, launcher, plain = lab.programs[:4]
damaged = lab.programs[4:]
failures = lab.failures
check = lab.check
run = lab.output


def rows(text, module):
    """(offset, unit, class, procedure, line) of each item in module, in order."""
    found = []
    for line in text.splitlines():
        m = re.match(r"item \d+\|\d\|([^|]*)\|([0-9A-F]{8})\|([^|]*)\|([^|]*)\|([^|]*)\|(-?\d+)$", line)
        if m and m.group(1).lower() == module:
            found.append((int(m.group(2), 16), m.group(3), m.group(4), m.group(5), int(m.group(6))))
    return found


def items(text, module):
    return [r[0] for r in rows(text, module)]


def source_lines(exe, offsets):
    """addr2line's (file name, line) of each offset."""
    if not offsets:
        return []
    args = [ADDR2LINE, "-e", exe] + ["0x%X" % (IMAGE_BASE + o) for o in offsets]
    out = []
    for l in subprocess.run(args, capture_output=True, text=True).stdout.splitlines():
        where = l.split(" (discriminator")[0]
        name, _, line = where.rpartition(":")
        out.append((name.replace("\\", "/").split("/")[-1], int(line) if line.isdigit() else 0))
    return out


def function_names(exe, offsets):
    if not offsets:
        return []
    args = [ADDR2LINE, "-f", "-e", exe] + ["0x%X" % (IMAGE_BASE + o) for o in offsets]
    out = subprocess.run(args, capture_output=True, text=True).stdout.splitlines()
    return [n.split("@")[0] for n in out[0::2]]


def inline_chain(exe, offset):
    """The functions an address lies in, the innermost inlined one first, the outermost last."""
    args = [ADDR2LINE, "-f", "-i", "-e", exe, "0x%X" % (IMAGE_BASE + offset)]
    out = subprocess.run(args, capture_output=True, text=True).stdout.splitlines()
    return [n.split("@")[0] for n in out[0::2]]


def call_site_file(exe, offset):
    """The file of the outermost frame: for code inlined from a header, the unit it went into."""
    args = [ADDR2LINE, "-i", "-e", exe, "0x%X" % (IMAGE_BASE + offset)]
    out = subprocess.run(args, capture_output=True, text=True).stdout.splitlines()
    return out[-1].split(" (discriminator")[0].rpartition(":")[0].replace("\\", "/").split("/")[-1] if out else ""


def instruction_at(exe, offset):
    a = IMAGE_BASE + offset
    out = subprocess.run([OBJDUMP, "-d", "--start-address=0x%X" % a, "--stop-address=0x%X" % (a + 8), exe],
                         capture_output=True, text=True).stdout
    lines = [l for l in out.splitlines() if re.match(r"\s+[0-9a-f]+:\t", l)]
    return lines[0].split("\t")[-1] if lines else ""


def in_order(names, wanted):
    """Indexes of the wanted names as a subsequence of names, or None."""
    at, found = 0, []
    for w in wanted:
        while at < len(names) and names[at] != w:
            at += 1
        if at == len(names):
            return None
        found.append(at)
        at += 1
    return found


def disassembly_of(exe, function):
    out = subprocess.run([OBJDUMP, "-d", exe], capture_output=True, text=True).stdout
    m = re.search(r"<_?%s>:\n((?:.+\n){1,3})" % function, out)
    return m.group(1) if m else ""


# Live stack: C, B, A, main in that order, each at a call instruction of that function.
for exe, module in ((crashlab, "crashlab.exe"), (crashlab_gui, "crashlab_gui.exe")):
    out = run(exe, "stack")
    offsets = items(out, module)
    names = function_names(exe, offsets)
    order = in_order(names, ["ChainC", "ChainB", "ChainA", "main" if exe == crashlab else "WinMain"])
    check(order is not None, "%s: ChainC, ChainB, ChainA, main in order in %s" % (module, names))
    for index in order or []:
        check(instruction_at(exe, offsets[index]).startswith("call"),
              "%s: item at %X is a call" % (module, offsets[index]))
    # The stored debug data names the same procedure and line as addr2line for every item.
    found = rows(out, module)
    lines = source_lines(exe, [r[0] for r in found])
    resolved = 0
    for (offset, unit, cls, procedure, line), name, (file, want) in zip(found, names, lines):
        if not procedure:
            continue
        resolved += 1
        # The stored data names the function that holds an inlined body; addr2line the body.
        check(procedure == name or procedure in inline_chain(exe, offset),
              "%s: %X is in %s, dump says %s" % (module, offset, name, procedure))
        # Code inlined from a header shows a line of the unit it was inlined into.
        inlined = file != unit and call_site_file(exe, offset) == unit
        check(line == want or inlined, "%s: %X is line %d of %s, dump says %d" % (module, offset, want, file, line))
    check(resolved >= 4, "%s: at least the chain resolved, got %d items" % (module, resolved))
    check(any(r[1] == "CrashLabChain.cpp" and r[3] == "ChainC" for r in found), "%s: ChainC in its unit" % module)

# Without data, or with a damaged tail, stacks come out whole, without debug data.
for exe in [plain] + damaged:
    out = run(exe, "stack")
    module = exe.replace("\\", "/").split("/")[-1].lower()
    found = rows(out, module)
    names = function_names(exe, [r[0] for r in found])
    check(in_order(names, ["ChainC", "ChainB", "ChainA", "main"]) is not None, "%s: the chain in %s" % (module, names))
    check(all(not r[1] and not r[3] and r[4] == 0 for r in found), "%s: no debug data in %s" % (module, found))

# The scenario holds: ChainA keeps no frame pointer, its callers do.
check("push   %ebp" not in disassembly_of(crashlab, "ChainA"), "ChainA keeps no frame pointer")
check("push   %ebp" in disassembly_of(crashlab, "ChainB"), "ChainB keeps its frame pointer")

# Every parked thread's stack, taken while it is suspended, shows its three calls.
out = run(crashlab, "threads", "20")
threads = re.split(r"^thread \d+ items \d+\n", out, flags=re.M)[1:]
check(len(threads) == 20, "20 thread stacks, got %d" % len(threads))
for i, text in enumerate(threads):
    names = function_names(crashlab, items(text, "crashlab.exe"))
    check(in_order(names, ["ParkC", "ParkB", "ParkA"]) is not None, "thread %d: ParkC, ParkB, ParkA in %s" % (i, names))

# A fault under 1,500 levels of recursion: the report's stack holds the fault and then a call of
# every level whose return address lies within 102,400 bytes of the faulting stack pointer, at
# most 1,025 items. Small frames meet the item cap first, 256-byte frames the byte limit.
for frames, function in (("small", "DeepCall"), ("wide", "DeepWideCall")):
    out = run(crashlab, "deep", "1500", frames)
    m = re.search(r"^deep context=1 within=(\d+) items=(\d+)$", out, flags=re.M)
    check(m is not None, "deep %s: the report's stack was dumped: %s" % (frames, out[:200]))
    if not m:
        continue
    within, count = int(m.group(1)), int(m.group(2))
    offsets = items(out, "crashlab.exe")
    names = function_names(crashlab, offsets)
    check(len(offsets) == count and names == [function] * count, "deep %s: %d items, all in %s" % (frames, count, function))
    if frames == "small":
        check(within == 1500 and count == 1025, "deep small: 1,025 items of 1,500 levels, got %d of %d" % (count, within))
    else:
        check(300 < within < 1025 and count == within + 1,
              "deep wide: the fault and the %d levels within 102,400 bytes, got %d items" % (within, count))

# The launcher prints the child's whole 32-bit exit code.
cases = [
    ((crashlab, "exit", "0xC0000409"), "0xC0000409"),
    ((crashlab, "exit", "7"), "0x00000007"),
    ((crashlab, "av"), "0xC0000005"),
    ((crashlab_gui, "av"), "0xC0000005"),
]
for args, code in cases:
    out = run(launcher, *args)
    check(("exit code " + code) in out, "%s gives %s: %s" % (" ".join(args[1:]), code, out[-200:]))

sys.exit(1 if failures else 0)
