#!/usr/bin/env python3
"""Runs the crash-test program's dialog mode under Wine for each dialog kind and checks that
the road showed that dialog, with the exception's message, and went on once it was closed.
Usage: crashlab_dialog_check.py RUNNER... -- CRASHLAB_GUI LAUNCHER (a windowed program: a console one
writes the report to its console instead)"""
import os
import re
import sys

from lab_checks import LabChecks

lab = LabChecks()
crashlab, launcher = lab.programs[:2]
failures = lab.failures
check = lab.check


# Without a send method the Windows-style dialog offers only OK, so nothing is to be sent.
cases = [("3", "dialog: detailed", None),
         ("2", "dialog: windows-style", "after dialog: send 0")]
for kind, shown, send in cases:
    out = lab.output(launcher, crashlab, "dialog-road", kind, timeout=90)
    lines = out.splitlines()
    print("\n".join("kind %s: %s" % (kind, l) for l in lines))
    check(shown in lines, "kind %s shows its dialog" % kind)
    check("dialog message: dialog on the road" in lines, "kind %s shows the exception's message" % kind)
    check("dialog report counter: 1" in lines, "kind %s: the first report" % kind)
    check("after dialog: state 0" in lines, "kind %s: closed, the road went on" % kind)
    check(send is None or send in lines, "kind %s: the send choice is left for delivery" % kind)
    rows = [l for l in lines if l.startswith("dialog exception thread row: ")]
    check(rows and "Exception Thread: ID=" in rows[0] and "*" not in rows[0],
          "kind %s: the call-stack page's exception thread row has no marker: %s" % (kind, rows))
    check("after dialog: work area taken 1" in lines, "kind %s: the dialogs' work area was taken" % kind)
    m = re.search(r"exit code (0x[0-9A-F]{8})", out)
    check(m and m.group(1) == "0x00000000", "kind %s ends normally: %s" % (kind, m and m.group(1)))

# Escape pressed on the keyboard closes either dialog as cancelled.
for kind in ("3", "2"):
    out = lab.output(launcher, crashlab, "dialog-road", kind, "escape", timeout=90)
    lines = out.splitlines()
    print("\n".join("escape %s: %s" % (kind, l) for l in lines))
    check("dialog escape keys sent: 2" in lines, "escape %s: the keys went in" % kind)
    check("after dialog: state 0" in lines and "after dialog: cancelled 1" in lines,
          "escape %s: closed as cancelled" % kind)

# One run, two reports: the first dialog's Escape leaves the second's choices alone, and the
# handlers hear "before terminate" once.
out = lab.output(launcher, crashlab, "dialog-twice", timeout=120)
lines = out.splitlines()
print("\n".join("twice: %s" % l for l in lines))
check("went on after the first report" in lines, "twice: the Escape went on")
check("terminate box checked" in lines, "twice: the click checked the terminate box")
check("went on after the second report" not in lines, "twice: the second dialog's terminate held")
check(lines.count("action 8 told") == 1, "twice: action 8 told once (%d)" % lines.count("action 8 told"))
m = re.search(r"exit code (0x[0-9A-F]{8})", out)
check(m and m.group(1) == "0x00000001", "twice: terminated with code 1: %s" % (m and m.group(1)))

# A handler's custom data and the steps typed into the request dialog: sections of the report,
# the log, its XML form and the text delivery sends.
log = os.path.join(os.getcwd(), "sections.elf")
if os.path.exists(log):
    os.remove(log)
out = lab.output(launcher, crashlab, "report-sections", "Z:" + log.replace("/", "\\"), timeout=120)
lines = out.splitlines()
print("\n".join("sections: %s" % l for l in lines))
check("request dialog" in lines, "sections: the request dialog came")
for line in ("report custom data: 11", "report steps: 1", "delivery steps: 1 custom data: 1",
             "log custom data: 1 steps: 1", "xml custom data: 1 steps: 1"):
    check(line in lines, "sections: " + line)

print("%d failure(s)" % len(failures))
sys.exit(1 if failures else 0)
