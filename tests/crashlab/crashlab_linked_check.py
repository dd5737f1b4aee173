#!/usr/bin/env python3
"""A program linked only as a program author is told to (crashlab_linked) fails in main's call
chain, in a worker thread, with an uncaught throw, and in a callback called by user32: each
logged report's call stack names the chain in order, innermost first, each row with the line
addr2line gives for its address; the callback's rows have user32's export between the callback
and main, and the modules table lists every module of a tool-help snapshot with its version.
Usage: crashlab_linked_check.py RUNNER... -- CRASHLAB_LINKED"""
import os
import re
import shutil
import subprocess
import tempfile

from lab_checks import LabChecks

lab = LabChecks()
check = lab.check
program = lab.programs[0]
prefix = "i686-w64-mingw32-"

work = tempfile.mkdtemp(prefix="linked-", dir=os.getcwd())
copy = os.path.join(work, "crashlab_linked.exe")
shutil.copy(program, copy)
log = os.path.join(work, "crashlab_linked.elf")


def last_report():
    with open(log, "rb") as f:
        text = f.read().decode("gbk", "replace")
    reports = [r for r in text.split("\r\n\r\n\r\n\r\n") if "Call Stack Information:" in r]
    return reports[-1] if reports else ""


def section(report, title):
    """The rows of a table: its lines between the rule under the header row and the last rule."""
    start = report.find(title + ":\r\n")
    if start < 0:
        return []
    lines = report[start:].split("\r\n")[1:]
    rules = [i for i, l in enumerate(lines) if re.fullmatch(r"-+", l)]
    if len(rules) < 3:
        return []
    return lines[rules[1] + 1:rules[2]]


def faulting_thread_rows(report):
    """(address, module, unit, class, procedure, line) of the exception thread's own rows."""
    rows, inside = [], False
    for line in section(report, "Call Stack Information"):
        cells = [c.strip() for c in line.strip("|").split("|")]
        if len(cells) == 1 and re.fullmatch(r"-*", cells[0]):
            continue
        if len(cells) == 1:
            inside = cells[0].startswith("*Exception Thread")
            if not inside and rows:
                break
            continue
        if inside and len(cells) == 6 and re.fullmatch(r"[0-9A-F]{8}", cells[0]):
            rows.append(cells)
    return rows


def addr2line(addresses):
    out = subprocess.run([prefix + "addr2line", "-a", "-e", program], input="".join("%x\n" % a for a in addresses),
                         capture_output=True, text=True, check=True).stdout.splitlines()
    lines = {}
    for address, where in zip(out[0::2], out[1::2]):
        number = where.split(" (discriminator")[0].rpartition(":")[2]
        lines[int(address, 16)] = int(number) if number.isdigit() else 0
    return lines


def chain_in_order(rows, chain):
    """The rows that name the chain's procedures, in the chain's order, or None."""
    found, at = [], 0
    for name in chain:
        # A throw's path may be compiled into the routine's cold part ("main.cold").
        while at < len(rows) and not rows[at][4].split(".cold")[0].endswith(name):
            at += 1
        if at == len(rows):
            return None
        found.append(rows[at])
        at += 1
    return found


scale = float(os.environ.get("VIDUDO_TIME_SCALE") or 1)
modes = {
    "main": ["WriteInner", "WriteMiddle", "WriteOuter", "main"],
    "worker": ["WriteInner", "WriteMiddle", "WriteOuter", "FaultingWorker"],
    "throw": ["ThrowInner", "ThrowMiddle", "ThrowOuter", "main"],
    "callback": ["WriteInner", "WriteMiddle", "WriteOuter", "FaultInEnumeration", "EnumWindows", "main"],
}
for mode, chain in modes.items():
    if os.path.exists(log):
        os.remove(log)
    out, _ = lab.execute(copy, mode, timeout=120 * scale)
    report = last_report() if os.path.exists(log) else ""
    check(report != "", "%s: a report in the log" % mode)
    rows = faulting_thread_rows(report)
    check(rows != [], "%s: the call stack has rows of the exception thread" % mode)
    found = chain_in_order(rows, chain)
    check(found is not None, "%s: the rows name %s in order, got %s" % (mode, chain, [r[4] for r in rows]))
    own = [r for r in found or [] if r[1] == "crashlab_linked.exe"]
    lines = addr2line([int(r[0], 16) for r in own])
    for r in own:
        line = int(r[5].split("[")[0]) if r[5] else 0
        check(line == lines[int(r[0], 16)], "%s: %s at %s is line %d, addr2line says %d" %
              (mode, r[4], r[0], line, lines[int(r[0], 16)]))
    if mode == "callback" and found:
        system = found[4]
        check(system[1].lower() == "user32.dll", "callback: EnumWindows is user32's, got %s" % system[1])
    if mode == "callback":
        # Every module the system lists beside the report, with its version and size.
        modules = {}
        for line in section(report, "Modules Information"):
            cells = [c.strip() for c in line.strip("|").split("|")]
            if len(cells) == 7:
                modules[cells[1].lower()] = cells
        snapshot = re.findall(r"^module (.+)$", out, re.M)
        check(len(snapshot) > 5, "callback: the program listed its modules, got %s" % snapshot)
        system32 = os.path.join(os.environ["WINEPREFIX"], "drive_c", "windows", "system32")
        for name in [s.strip().lower() for s in snapshot]:
            m = modules.get(name)
            check(m is not None, "callback: the modules table lists %s" % name)
            path = os.path.join(system32, name)
            if not m or name == "crashlab_linked.exe" or not os.path.exists(path):
                continue  # the program has no version resource; Wine's 16-bit modules no file
            with open(path, "rb") as f:
                versioned = "VS_VERSION_INFO".encode("utf-16-le") in f.read()
            check(m[4] == str(os.path.getsize(path)) and not m[5].startswith("1899") and (m[3] != "") == versioned,
                  "callback: %s has its size, date and version, got %s" % (name, m))
    if lab.failures:
        print(report)

shutil.rmtree(work, ignore_errors=True)
raise SystemExit(lab.finish("crashlab_linked"))
