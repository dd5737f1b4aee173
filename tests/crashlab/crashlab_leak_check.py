#!/usr/bin/env python3
"""Runs the leak crash-test program's variants under Wine and checks the leak report, the heap
errors and the layout of tracked blocks against what each mode says it leaked.
Usage: crashlab_leak_check.py RUNNER... -- TRACK FOLD OFF GUI"""
import os
import re
import struct
import sys
import tempfile

from lab_checks import LabChecks, time_scale

lab = LabChecks()
track, fold, off, gui = lab.programs[:4]
gui_runner = lab.runner[:1] + ["--gui"] + lab.runner[1:]
failures = lab.failures
check = lab.check


def run(exe, *args, timeout=150):
    return lab.timed(exe, *args, timeout=timeout, runner=gui_runner if exe == gui else None)


def sites(out):
    found = {}
    for name, line in re.findall(r"^site (\S+) (\d+)$", out, re.M):
        found.setdefault(name, int(line))
    return found


def report(out):
    """The messages and, per leak (a first item starts one), (text, size, count, line)."""
    messages = re.findall(r"^EMemoryLeak\|(.*)$", out, re.M)
    leaks = []
    for text, size, count, first, unit, proc, line in re.findall(
            r"^leak\|([^|]*)\|(\d+)\|(\d+)\|(\d)\|([^|]*)\|([^|]*)\|(-?\d+)$", out, re.M):
        if first == "1":
            leaks.append((text, int(size), int(count), unit, int(line)))
    return messages, leaks


def sizeof(out, name):
    m = re.search(r"^sizeof %s (\d+)$" % name, out, re.M)
    return int(m.group(1)) if m else -1


# Layout: both guards and the alignment with tracking; no guard and no report without it.
out, _ = run(track, "layout")
check("tracking 1" in out, "tracking on with 0x11:\n" + out)
blocks = re.findall(r"^block (\d+) before ([0-9A-F]{8}) after ([0-9A-F]{8}) aligned (\d)$", out, re.M)
check(len(blocks) == 4 and all(b[1] == b[2] == "100FAB10" and b[3] == "1" for b in blocks),
      "guards at p-4 and p+n, p %% 8 == 0:\n" + out)
check("aligned64 1" in out, "an over-aligned block keeps its alignment:\n" + out)
check("realloc kept 1 guarded 1" in out, "a tracked buffer grown and shrunk:\n" + out)
check(not re.search(r"^EMemoryLeak", out, re.M), "nothing leaked in layout:\n" + out)
out, _ = run(off, "layout")
check("tracking 0" in out, "tracking off with 0x10:\n" + out)
check(all(b[1] != "100FAB10" for b in re.findall(r"^block (\d+) before ([0-9A-F]{8})", out, re.M)),
      "no guard without the bit:\n" + out)
check("aligned64 1" in out and "live 0" in out, "untracked alignment and an empty list:\n" + out)
out, _ = run(off, "leaks", "two")
check(not re.search(r"^(EMemoryLeak|leak\|)", out, re.M), "no leak report without the bit:\n" + out)

# The version word of the "ELDATA" header, patched in copies: 5999 and below give no options,
# 600-602 read as 6000-6002.
with open(track, "rb") as f:
    image = f.read()
header = struct.pack("<IH", 0x100FAB10, 6101)
at = image.find(header)
check(image.count(header) == 1 and image[at + 14] == 0x11, "one ELDATA header with options 0x11 in %s" % track)
for version, tracking in ((5999, 0), (6000, 1), (600, 1), (603, 0)):
    copy = os.path.join(os.path.dirname(track), "crashlab_leak_v%d.exe" % version)
    with open(copy, "wb") as f:
        f.write(image[:at + 4] + struct.pack("<H", version) + image[at + 6:])
    try:
        out, _ = run(copy, "layout")
    finally:
        os.remove(copy)
    check("tracking %d" % tracking in out, "version %d gives tracking %d:\n%s" % (version, tracking, out))

# Two leaks: the object by its class at its line, then the data.
out, _ = run(track, "leaks", "two")
s = sites(out)
messages, leaks = report(out)
total = sizeof(out, "Foo") + 100
check(messages == ["Memory Leak: Total size=%d - Count=2" % total], "one report message:\n" + out)
check(leaks == [("Foo", sizeof(out, "Foo"), 1, "CrashLabLeak.cpp", s.get("foo")),
                ("Data", 100, 1, "CrashLabLeak.cpp", s.get("data"))], "the two leaks:\n" + out)

for what, expected in (("bar", lambda o, s: [("Data", sizeof(o, "Bar"), 1, "CrashLabLeak.cpp", s.get("bar"))]),
                       # The object and its characters with the terminator, both at the line.
                       ("string", lambda o, s: [("Data", sizeof(o, "string"), 1, "CrashLabLeak.cpp", s.get("string")),
                                                ("Data", 301, 1, "CrashLabLeak.cpp", s.get("string"))]),
                       ("static", lambda o, s: [("Data", 33, 1, "CrashLabLeak.cpp", s.get("kept"))]),
                       ("loop", lambda o, s: [("Data", 480, 10, "CrashLabLeak.cpp", s.get("loop")),
                                              ("Data", 48, 1, "CrashLabLeak.cpp", s.get("other"))])):
    out, _ = run(track, "leaks", what)
    messages, leaks = report(out)
    got = [(t, size, count, unit, line) for t, size, count, unit, line in leaks]
    check(got == expected(out, sites(out)), "leaks %s:\n%s" % (what, out))

# The options temporary file: saved, read back by the report, deleted after it.
with tempfile.TemporaryDirectory() as folder:
    saved = os.path.join(folder, "options.tmp")
    out, _ = run(track, "optionsfile", "Z:" + saved.replace("/", "\\"))
    messages, leaks = report(out)
    check(messages == ["Leaked memory: Total size=12 - Count=1"],
          "the report reads the saved options:\n" + out)
    check(not os.path.exists(saved), "the options file is deleted at the end")

# The handling road: at exit, after every static destructor, the report is one EMemoryLeak with
# the report steps of any exception: its text on the console and a report in the log.
prefix = os.path.join(os.environ["WINEPREFIX"], "drive_c")
log_host, log_windows = os.path.join(prefix, "leak-road-check.elf"), "C:\\leak-road-check.elf"


def host_path(windows):
    return os.path.join(prefix, *windows[3:].split("\\")) if windows.upper().startswith("C:\\") else windows


def road(*args, exe=None, **kw):
    if os.path.exists(log_host):
        os.remove(log_host)
    out, took = run(exe or track, "road", log_windows, *args, **kw)
    stored = b""
    if os.path.exists(log_host):
        with open(log_host, "rb") as f:
            stored = f.read()
        os.remove(log_host)
    # The road's statics are made again for the report and left behind: both heaps survive it.
    if exe != gui:
        check(re.search(r"^after exit tracking 0 heaps valid 1 1$", out, re.M),
              "the tracker's and the reporter's heaps after the report (%r):\n%s" % (args, out[-1500:]))
    return out, stored.decode("gbk", "replace").replace("\r", ""), took


def leak_rows(text):
    """(header, first row) per leak of the report's call-stack section."""
    return re.findall(r"^\|\+(Memory Leak: Type=[^|]*?)\s*\|\n\|-+\|\n(\|[^\n]*)$", text, re.M)


out, stored, _ = road("leaks", "two")
s = sites(out)
for where, text in (("console", out), ("log", stored)):
    check(re.search(r"^  2\.5 Type\s*: EMemoryLeak$", text, re.M) and
          re.search(r"^  2\.6 Message\s*: Memory Leak: Total size=%d - Count=2\.?$" % total, text, re.M),
          "the road's report of the leaks (%s):\n%s" % (where, text[:3000]))
    rows = leak_rows(text)
    check([h for h, _ in rows] == ["Memory Leak: Type=Foo; Total size=%d; Count=1" % sizeof(out, "Foo"),
                                   "Memory Leak: Type=Data; Total size=100; Count=1"] and
          all(re.search(r"\|CrashLabLeak\.cpp\s*\|.*\|%d\[" % line, row) for (_, row), line in
              zip(rows, (s.get("foo"), s.get("data")))),
          "the leak items with their lines (%s): %r" % (where, rows))
check(stored.count("DuruvaDod ") == 1, "one report in the log")
# The options temporary file under its own name: written at shut-down, read by the report,
# deleted after it.
m = re.search(r"^options file (\S+\.bin)$", out, re.M)
check(m and re.search(r"\\[0-9A-F]{8}00400000\.bin$", m.group(1)) and not os.path.exists(host_path(m.group(1))),
      "the options file's name, gone after the run:\n" + out[:300])
check("options file at report 1" in out and "options file after 0" in out,
      "the options file while the report runs, and after it:\n" + out[-1500:])
check(not re.search(r"^(EMemoryLeak|leak)\|", out, re.M), "nothing went the test's own route:\n" + out[:2000])
out, stored, _ = road("leaks", "static")
check(re.findall(r"Memory Leak: Type=\S+; Total size=\d+", stored) == ["Memory Leak: Type=Data; Total size=33"],
      "a block a static destructor freed is no leak on the road:\n" + stored[:3000])
# Heap errors take the road as they happen, and the program goes on.
out, stored, _ = road("overrun")
check(re.search(r"^  2\.5 Type\s*: EMemoryOverrun$", stored, re.M) and "Memory Overrun leak." in stored,
      "the overrun's report in the log:\n" + stored[:3000])
check("continued" in out and "heap valid 1" in out, "goes on after the overrun on the road:\n" + out[-2000:])
# The GUI variant: the detailed dialog at exit closes itself, the log keeps the report.
out, stored, took = road("leaks", "two", exe=gui)
check(took < 10 * time_scale() and re.search(r"^  2\.6 Message\s*: Memory Leak: Total size=%d - Count=2\.?$" % total, stored, re.M)
      and len(leak_rows(stored)) == 2, "the dialog's report at exit (%.1f s):\n%s%s" % (took, out[-1000:], stored[:2000]))
# A handling gives the heap errors the texts of its options.
out, _ = run(track, "texts")
check(re.findall(r"^EMemoryOverrun\|.*$", out, re.M) == ["EMemoryOverrun|Overrun seen."] and "continued" in out,
      "the overrun's text of the options in force:\n" + out)
# No leaks: no report at all.
out, stored, _ = road("layout")
check(stored == "" and "EMemoryLeak" not in out, "no report without leaks:\n" + out[-2000:])
for i in range(3):
    out, stored, took = road("exitload", timeout=30)
    check(took < 10 * time_scale() and "Memory Leak: Type=Data; Total size=41000; Count=1025" in stored,
          "exit under load on the road within 10 s (%.1f s):\n%s" % (took, stored[:2000]))

# Folding: the constructor's two blocks count into their owner with 0x2 only.
owner_parts = 24 + 6 * 4
out, _ = run(fold, "leaks", "fold")
messages, leaks = report(out)
so = sizeof(out, "Owner")
check([(t, size, count) for t, size, count, _, _ in leaks] == [("Owner", so + owner_parts, 1)],
      "folded into the owner:\n" + out)
out, _ = run(track, "leaks", "fold")
messages, leaks = report(out)
check(len(leaks) == 3 and leaks[0][:3] == ("Owner", so, 1), "not folded without 0x2:\n" + out)

# 2,000 live leaks: at most 1,025 blocks reach the report.
out, _ = run(track, "leaks", "many")
messages, leaks = report(out)
check(len(leaks) == 1025 and messages and messages[0].endswith("Count=1025"), "the 1025 cap: %d leaks" % len(leaks))

# Heap errors as they happen, and the program goes on.
out, _ = run(track, "overrun")
check(re.findall(r"^EMemoryOverrun\|.*$", out, re.M) == ["EMemoryOverrun|Memory Overrun leak."],
      "one overrun:\n" + out)
check("continued" in out and "heap valid 1" in out, "goes on after the overrun:\n" + out)
out, _ = run(track, "double")
check(re.findall(r"^EMultiFree\|.*$", out, re.M) == ["EMultiFree|Multi Free memory leak."],
      "one multiple free:\n" + out)
check("continued" in out and "heap valid 1" in out, "goes on after the second free:\n" + out)
check(not re.search(r"^EMemoryLeak", out, re.M), "no leak after the double free:\n" + out)

for exe in (track, off):
    out, _ = run(exe, "huge")
    check(out.count("bad_alloc") == 2 and "nothrow null" in out and "realloc null" in out and "heap valid 1" in out,
          "huge sizes fail cleanly:\n" + out)

out, _ = run(track, "threads", "5000")
check("live equals kept 1" in out and "heap valid 1" in out, "eight threads:\n" + out)
check(not re.search(r"^EMemoryLeak", out, re.M), "no report after the threads:\n" + out)

# Exit under load, 20 runs: tracked blocks freed while the report runs each time.
slow = []
for i in range(20):
    out, took = run(track, "exitload", timeout=30)
    frees = re.search(r"^tracked frees during report (\d+)$", out, re.M)
    if took > 10 * time_scale() or not re.search(r"^EMemoryLeak", out, re.M) or not frees or int(frees.group(1)) == 0:
        slow.append((i, round(took, 1), out[-300:]))
check(not slow, "exit under load within 10 s with a report and frees during it: %r" % slow)

# The module records freed before the reporter shuts down, as the program does: shut-down makes
# this module's record again for the options file, and the report shows only the leak.
out, code = lab.execute(track, "cleared", timeout=30)
messages, leaks = report(out)
check(code == 0 and leaks == [("Data", 55, 1, "CrashLabLeak.cpp", sites(out).get("kept"))] and
      "options file at report 1" in out and re.search(r"^after exit tracking 0 heaps valid 1 1$", out, re.M),
      "the report after the module records were freed (exit %s):\n%s" % (code, out))

# The list's head unreadable when the exit steps begin: they are skipped with no report and no
# box (no debugger), tracking is off anyway and a later free only marks its block (4).
out, code = lab.execute(track, "headgone", timeout=30)
check(code == 0 and not re.search(r"^(EMemoryLeak|leak\||box )", out, re.M) and "late free 4" in out and
      re.search(r"^after exit tracking 0 heaps valid 1 1$", out, re.M),
      "exit steps skipped without a readable head (exit %s):\n%s" % (code, out))

print("%d failures" % len(failures))
sys.exit(1 if failures else 0)
