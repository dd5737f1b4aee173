#!/usr/bin/env python3
"""Runs the hang watchdog's scenarios and the thread storm of the crash-test program under Wine.
Usage: crashlab_hang_check.py RUNNER... -- CRASHLAB CRASHLAB_WATCH CRASHLAB_PLAIN
CRASHLAB_WATCH's stamped options switch the watchdog on (2 s); CRASHLAB_PLAIN carries no reporter data."""
import re
import sys

from lab_checks import LabChecks, time_scale

lab = LabChecks()
crashlab, watch, plain = lab.programs[:3]
failures = lab.failures
check = lab.check


def run(*args, exe=None):
    return lab.execute(exe or crashlab, *args, timeout=170)


def frozen_reports(text):
    """(fields, items) of each report: items are (unit, procedure, line)."""
    reports = []
    for m in re.finditer(r"^frozen (class=.*)\n((?:item .*\n)*)frozen end$", text, flags=re.M):
        fields = dict(re.findall(r"(\w+)=(\S+)", m.group(1).split(" message=")[0]))
        fields["message"] = m.group(1).split(" message=", 1)[1]
        items = []
        for line in m.group(2).splitlines():
            parts = line.split("|")
            items.append((parts[4], parts[6], int(parts[7])))
        reports.append((fields, items))
    return reports


# Start-up starts the watchdog only from reporter data that asks for it.
# The reporter's own threads (handling, still probe, and the watchdog when it runs) have no records.
for exe, want, own in ((watch, "reporter 1 watching 1", 3), (crashlab, "reporter 1 watching 0", 2),
                       (plain, "reporter 0 watching 0", None)):
    out, rc = run("watchstate", exe=exe)
    check(want in out, "%s: %s in %s" % (exe.split("/")[-1], want, out[-200:]))
    if own:
        m = re.search(r"^own threads (\d+) recorded (\d+) probe (\d+)$", out, flags=re.M)
        check(m and int(m.group(1)) >= own and m.group(2) == "0" and m.group(3) == "1",
              "%s: %d own threads, none recorded: %s" % (exe.split("/")[-1], own, m and m.group(0)))


def check_hang(exe, timeout):
    """A main thread that sleeps until reported (at most 12 s) and a second more, with a 2 s time-out:
    one report, late enough, of the main thread, whose first item with a line lies in the sleeping
    function; the main thread runs meanwhile."""
    name = exe.split("/")[-1]
    out, rc = run("hang", timeout, "12000", exe=exe)
    check(rc == 0, "%s: hang ends with 0, not %d" % (name, rc))
    check("watching 1" in out and "answered reports 0" in out, "%s: the watchdog runs and is answered first: %s" % (name, out[-400:]))
    slept = re.search(r"^slept (\d+) reports (\d+)$", out, flags=re.M)
    reports = frozen_reports(out)
    check(slept is not None and slept.group(2) == "1", "%s: exactly one report during the sleep: %s" % (name, out[-600:]))
    check(len(reports) == 1, "%s: one report in all, got %d" % (name, len(reports)))
    for fields, items in reports[:1]:
        at = int(fields["at"])
        check(fields["class"] == "EFrozenApplication", "class %s" % fields["class"])
        check(fields["message"] == "The application seems to be frozen.", "message %r" % fields["message"])
        check(fields["thread"] == fields["main"], "reported on the main thread %s, not %s" % (fields["main"], fields["thread"]))
        # Before the limit: a report the hang's end let through is no hang report.
        check(at >= 1800 and at < 12000 and (slept is None or at < int(slept.group(1))), "reported %d ms into the sleep" % at)
        check(fields["suspend"] == "0", "main thread's suspend count %s during the report" % fields["suspend"])
        with_line = [i for i in items if i[2] > 0]
        check(bool(with_line) and with_line[0][1] == "HangInSleep" and with_line[0][0] == "CrashLabHang.cpp",
              "first item with a line is in HangInSleep: %s" % with_line[:3])


check_hang(watch, "0")     # as stamped
check_hang(crashlab, "2")  # switched on through the running module's options

# Switched off by a handler of its own report, on its own thread: only asked to stop, no hang.
out, rc = run("hang", "2", "12000", "stop")
check(rc == 0 and "reports 1" in out, "hang with stop ends with 0 and one report: %s" % out[-600:])
check(re.search(r"^switched off on thread \d+ running 0$", out, flags=re.M) is not None, "stopped from its own thread")

# Busy for 1.5 s between short pumps, with a 2 s time-out: no report.
out, rc = run("hangpump", "2", "6000", "1500")
check(rc == 0 and "reports 0" in out and not frozen_reports(out), "no report while pumping every 1.5 s: %s" % out[-600:])

# The options switch the watchdog off and on again.
out, rc = run("watchtoggle")
for fact in ("watching 1", "off 0", "on 1", "inactive 0", "active 1", "stopped 0"):
    check(fact in out, "watchtoggle: %s in %s" % (fact, out[-300:]))

# 20 threads creating and ending threads while main returns: 50 runs, each ends with 0 in 10 s.
out, rc = run("runs", "50", "10", str(10000 * time_scale()), "storm", "20")
check(rc == 0 and "runs 50 failed 0" in out, "50 storms end with 0 within %d s: %s" % (10 * time_scale(), out[-600:]))

sys.exit(1 if failures else 0)
