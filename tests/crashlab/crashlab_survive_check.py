#!/usr/bin/env python3
"""Runs the crash-test program's modes of a road that survives its own failures under Wine: a
step of the handling that faults or throws is an internal error naming the step, and the fault
still ends the process with its code; a fault while the waiting main thread pumps ends pumping,
not the report; a minimised window of a hung thread is restored without waiting for it; a fault
in a static destructor is reported once; a restarted program that fails soon is not restarted
again; the exported events tell nothing before start-up.
Usage: crashlab_survive_check.py RUNNER... -- CRASHLAB CRASHLAB_GUI LAUNCHER CRASHLAB_PLAIN"""
import os
import re
import subprocess
import sys
import time

from lab_checks import LabChecks, exit_code

lab = LabChecks()
crashlab, gui, launcher, plain = lab.programs[:4]
check = lab.check
scale = float(os.environ.get("VIDUDO_TIME_SCALE") or 1)


def run(program, *args):
    try:
        out, seconds = lab.timed(launcher, program, *args, encoding=None, timeout=max(60, 30 * scale))
    except subprocess.TimeoutExpired:
        print("%s %s: no end (killed)" % (program, " ".join(args)))
        return ["no end"], float("inf")
    text = out.decode("gbk", "replace")
    print(text)
    return text.splitlines(), seconds


def errors(lines):
    return [l for l in lines if l.startswith("[ERROR] - Section: ")]


# The prefix is made by the first program Wine runs; no time bound below should count it.
run(crashlab, "exit", "0")

# Each failing step: its internal-error line, and the filter's end with the fault's code, in time.
for program, step, section, extra in ((crashlab, "build", "702", None),
                                      (gui, "dialog", "13", "dialog returned thrown 1")):
    lines, seconds = run(program, "survive-step", step)
    found = errors(lines)
    check(len(found) == 1 and found[0].startswith("[ERROR] - Section: %s - " % section),
          "%s: one internal error of step %s: %s" % (step, section, found))
    check(extra is None or extra in lines, "%s: %s in %s" % (step, extra, lines))
    check("still running" not in lines and exit_code("\n".join(lines).encode()) == "0xC0000005",
          "%s: the filter ends with the fault's code: %s" % (step, lines[-1:]))
    check(seconds < 10 * scale, "%s: ends within 10 s: %.1f" % (step, seconds))

# A fault while main pumps for the dialog: pumping ends, the report goes on to the log, the
# program goes on.
lines, seconds = run(gui, "survive-pump")
check("dialog closed fault reached 1" in lines, "pump: the posted message's procedure ran: %s" % lines)
check("step log" in lines, "pump: the report was logged: %s" % lines)
check("pumped after fault" not in lines, "pump: nothing pumped after the fault: %s" % lines)
check("went on notifications 1" in lines, "pump: the program went on after one report: %s" % lines)
check(exit_code("\n".join(lines).encode()) == "0x00000000", "pump: ends normally: %s" % lines[-1:])

# The minimised window of a thread that does not answer: restoring it returns at once, and the
# window is restored once its thread answers again.
lines, _ = run(gui, "survive-restore")
check("minimised 1" in lines, "restore: the window was minimised: %s" % lines)
order = [l for l in lines if l in ("restore returned", "main woke")]
check(order == ["restore returned", "main woke"], "restore: returned while main hung: %s" % order)
check("restored 1" in lines, "restore: the window is restored: %s" % lines)

# A fault in a static destructor after main returned: reported once, the filter's code.
lines, seconds = run(crashlab, "survive-static")
notes = [l for l in lines if l.startswith("notify ")]
check("static destructor faults" in lines and len(notes) == 1, "static: one report: %s" % lines)
check(exit_code("\n".join(lines).encode()) == "0xC0000005", "static: ends with the fault's code: %s" % lines[-1:])

# A program failing again soon after its restart is not restarted again: two runs, no more.
if os.path.exists("restart-loop.txt"):
    os.remove("restart-loop.txt")
lines, _ = run(crashlab, "survive-restart", "restart-loop.txt")
check(exit_code("\n".join(lines).encode()) == "0x00000001" and "not restarted" not in lines,
      "restart: the first run ends to restart: %s" % lines[-1:])
runs = []
for _ in range(int(100 * scale)):
    runs = open("restart-loop.txt").read().splitlines() if os.path.exists("restart-loop.txt") else []
    if len(runs) >= 2:
        break
    time.sleep(0.1)
time.sleep(5 * scale)  # a third run, were there one, has started by now
runs = open("restart-loop.txt").read().splitlines() if os.path.exists("restart-loop.txt") else []
check(len(runs) == 2, "restart: the restarted run is not restarted again: %s" % runs)
if os.path.exists("restart-loop.txt"):
    os.remove("restart-loop.txt")

# The exported events of a program whose reporter did not start tell no handler; of one whose
# reporter runs they do.
for program, want in ((plain, "started 0 export 1 notifications 0"), (crashlab, "started 1 export 1 notifications 1")):
    lines, _ = run(program, "survive-exports")
    check(want in lines, "exports: %s in %s" % (want, lines))

sys.exit(lab.finish("crashlab survive"))
