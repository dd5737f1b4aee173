#!/usr/bin/env python3
"""Runs the crash-test program's modes of handling without the process heap under Wine: faults
while another thread allocates and loads a library without pause (the road keeps it still and
must end every report in bounded time), and a fault while another thread holds the process
heap's lock (the road must get to its report text without that heap).
Usage: crashlab_frozen_check.py RUNNER... -- LAUNCHER CRASHLAB CRASHLAB_LEAKS"""
import re
import sys

from lab_checks import LabChecks, time_scale

lab = LabChecks()
launcher, crashlab, leaks = lab.programs[:3]
failures = lab.failures
check = lab.check
RUNS = 5


def run(program, *args):
    return lab.timed(launcher, program, *args, timeout=120)


for program in (crashlab, leaks):
    name = program.rsplit("/", 1)[-1]
    out, seconds = run(program, "frozen-busy", str(RUNS))
    print(out)
    for i in range(1, RUNS + 1):
        check("run %d: ended, report made" % i in out, "%s: run %d ends with its report" % (name, i))
    check("kept still: %d of %d reports, %d with text, worker still in %d" % (RUNS, RUNS, RUNS, RUNS) in out,
          "%s: every report has its text and the busy thread kept still" % name)
    check("exit code 0x00000000" in out, "%s: the program goes on after each report" % name)
    check(seconds < 60 * time_scale(), "%s: %d reports took %.1f s" % (name, RUNS, seconds))

out, seconds = run(crashlab, "frozen-heap-locked")
print(out)
m = re.search(r"heap locked until step (\d+) after (\d+) ms", out)
check(m and int(m.group(1)) >= 702, "the road reaches its report text with the process heap locked")
# The lock is given back at step 702 or after 15 s: reaching the step first is the proof.
check(m and int(m.group(2)) < 15000, "no wait for the lock's 15 s: held %s ms" % (m.group(2) if m else "?"))
check("report made, text made" in out, "the report is made once the heap is free again")
check(seconds < 12 * time_scale(), "the run ends in time: %.1f s" % seconds)

print("%d failures" % len(failures))
sys.exit(1 if failures else 0)
