#!/usr/bin/env python3
"""Runs the crash-test program's report modes under Wine and checks the log they leave: the
report's banner, the access-violation wording in GBK, the fault's address, the duplicate count
of a second identical fault, a jump into allocated memory worded as an entry violation, and the
type and message named for objects the report can or can't read.
Usage: crashlab_report_check.py RUNNER... -- CRASHLAB LAUNCHER"""
import os
import re
import subprocess
import sys

from lab_checks import LabChecks

lab = LabChecks()
runner = lab.runner
crashlab, launcher = lab.programs[:2]
log_host = os.path.join(os.environ["WINEPREFIX"], "drive_c", "vidudo-report-check.elf")
log_windows = "C:\\vidudo-report-check.elf"
failures = lab.failures
check = lab.check


def run(*args):
    return lab.output(launcher, crashlab, *args, encoding=None)


def reports():
    with open(log_host, "rb") as f:
        text = f.read()
    return [r for r in text.split(b"\r\n\r\n\r\n\r\n") if b"-\r\n|" in r]


def general_part(report):
    """The report up to the title line above the first table's rule."""
    rule = report.rfind(b"\r\n", 0, report.find(b"-\r\n|"))
    return report[:report.rfind(b"\r\n", 0, rule) + 2]


def item(report, number):
    m = re.search(rb"\r\n  " + re.escape(number.encode()) + rb" [^:\r\n]*: ([^\r\n]*)", report)
    return m.group(1).strip() if m else None


if os.path.exists(log_host):
    os.remove(log_host)

run("report-av", log_windows)
check(os.path.exists(log_host), "the fault wrote the log")
if os.path.exists(log_host):
    stored = reports()
    check(len(stored) == 1, "one report in the log, found %d" % len(stored))
    first = stored[0] if stored else b""
    check(first.startswith(b"DuruvaDod 6.1.01 RC 1\r\n"), "the report starts with its banner")
    general = general_part(first)
    check(re.search(rb"[^\n]\r\n\r\n\Z", general) is not None,
          "one empty line separates the general part from the call stack: %r" % general[-80:])
    wording = re.compile("存取地址 ([0-9A-F]{8}) 违例发生在模块 'crashlab.exe' 中. 写 在地址 00000000 里.".encode("gbk")
                         .replace(b".", rb"\.").replace(b"(", b"(").replace(b"'", b"'"))
    m = wording.search(first)
    check(m is not None, "the message is the GBK access-violation wording")
    if m:
        check(item(first, "2.2") == m.group(1), "item 2.2 is the fault's address")
    check(item(first, "2.8") == b"1", "a first report counts 1")
    check(b"; <-- EXCEPTION" in first, "the listing marks the faulting instruction")

    run("report-av", log_windows)
    stored = reports()
    check(len(stored) == 1, "the same fault again adds no report, found %d" % len(stored))
    check(stored and item(stored[0], "2.8") == b"2", "the same fault again counts 2")

    out = run("report-jump", log_windows)
    code = re.search(rb"code ([0-9A-F]{8})", out)
    stored = reports()
    check(len(stored) == 2, "a fault elsewhere adds a report, found %d" % len(stored))
    if code and len(stored) == 2:
        wanted = "入口违规: 地址 ".encode("gbk") + code.group(1) + ". 写 对于地址 00000000.".encode("gbk")
        check(wanted in stored[1], "a jump into allocated memory is an entry violation")
    os.remove(log_host)

# A framework thread's exception: its row names the class and the thread's name, as does the
# row of a running named thread; the filter's message is item 2.6.
out = run("report-threads", log_windows)
ids = re.search(rb"threads (\d+) (\d+)", out)
check(ids is not None, "the threads mode ran to its end")
check(os.path.exists(log_host), "the thread's exception wrote the log")
if ids and os.path.exists(log_host):
    stored = reports()
    check(len(stored) == 1, "one report of the thread's exception, found %d" % len(stored))
    report = stored[0] if stored else b""
    check(item(report, "2.5") == b"ELabOrderRefused", "item 2.5 is the thrown class")
    check(item(report, "2.6") == "委托被拒绝: no margin.".encode("gbk"), "item 2.6 is the filter's message: %r"
          % item(report, "2.6"))
    rows = [(rb"\|\*Exception Thread: ID=" + ids.group(1) + rb"; Priority=-?\d+; Class=TLabOrderThread \(" +
             "下单线程".encode("gbk") + rb"\)", "the exception thread's row"),
            (rb"\|Running Thread: ID=" + ids.group(2) + rb"; Priority=-?\d+; Class=TLabFeedThread \(" +
             "行情".encode("gbk") + rb"\)", "the running thread's row")]
    for pattern, what in rows:
        check(re.search(pattern, report) is not None, what + " names its class and the thread")
    os.remove(log_host)

# What the report names of an exception: nothing of an object pointer into a decommitted page
# (the hooks' entry reports the exception current instead), the type of a thrown int, the type and
# message of a std::runtime_error.
for kind, thrown, message in (("decommitted", b"Unknown exception type", b"Unknown error message."),
                              ("manager", b"std::runtime_error", "先前的异常.".encode("gbk")),
                              ("int", b"int", b"Unknown error message."),
                              ("activex", b"EOleSysError", "控件失败.".encode("gbk")),
                              ("runtime", b"std::runtime_error", "行情中断.".encode("gbk"))):
    out = run("report-thrown", kind, log_windows)
    check(b"thrown " + kind.encode() in out, "report-thrown %s ran to its end" % kind)
    stored = reports() if os.path.exists(log_host) else []
    check(len(stored) == 1, "%s: one report, found %d" % (kind, len(stored)))
    if stored:
        check(item(stored[0], "2.5") == thrown, "%s: item 2.5 is %r: %r" % (kind, thrown, item(stored[0], "2.5")))
        check(item(stored[0], "2.6") == message, "%s: item 2.6 is %r: %r" % (kind, message, item(stored[0], "2.6")))
        os.remove(log_host)

# Two processes taking their screenshots at once write two work folders.
procs = [subprocess.Popen(runner + [launcher, crashlab, "report-shot"], stdout=subprocess.PIPE) for _ in range(2)]
shots = []
for p in procs:
    out = p.communicate(timeout=150)[0].replace(b"\r", b"")
    m = re.search(rb"screenshot (\S+)", out)
    shots.append(m.group(1).decode("gbk") if m else None)
check(all(shots) and shots[0] != shots[1], "two processes name two screenshot files: %s" % shots)
for shot in shots:
    if not shot:
        continue
    host = os.path.join(os.environ["WINEPREFIX"], "drive_c", *shot[3:].split("\\"))
    check(os.path.exists(host), "the screenshot %s was written" % shot)
    if os.path.exists(host):
        with open(host, "rb") as f:
            check(f.read(8) == b"\x89PNG\r\n\x1a\n", "the screenshot %s is a PNG" % shot)
        os.remove(host)
        os.rmdir(os.path.dirname(host))

if failures:
    print("%d failed" % len(failures))
    sys.exit(1)
print("all passed")
