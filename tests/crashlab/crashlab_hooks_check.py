#!/usr/bin/env python3
"""Runs the crash-test program's hook scenarios under Wine and checks what they print.
Usage: crashlab_hooks_check.py RUNNER... -- CRASHLAB CRASHLAB_PLAIN LAUNCHER CRASHLAB_HANDLED"""
import sys

from lab_checks import LabChecks

lab = LabChecks()
crashlab, plain, launcher, handled = lab.programs[:4]
failures = lab.failures

KINDS = ["RaiseException", "RtlUnwind", "WriteFile", "CreateThread", "ResumeThread", "ExitThread"]
FULL = "count=1 resumer=1 creator=1 capped=1 top=1 object=1 handle=1"


def run(*args):
    return lab.output(*args, timeout=120).splitlines()


def expect(mode, lines, wanted):
    for w in wanted:
        if w not in lines:
            failures.append("%s: missing %r" % (mode, w))
            print("FAIL: %s: missing %r in:\n  %s" % (mode, w, "\n  ".join(lines)))


records = run(crashlab, "records")
expect("records", records, [
    # The main thread's record is made at start-up: no resumer, no creator stack.
    "record main count=1 resumer=1 creator=0 capped=0 top=1 object=1 handle=1",
    "record create " + FULL,
    "suspended waits=1",
    "record suspended " + FULL,
    "record reservation " + FULL,
    "reservation runs=1",
    "record beginthreadex " + FULL,
    "record stdthread " + FULL,
    "record framework " + FULL,
    "record own count=0",
    "ended left=0",
])

# Hooked in the program and the C runtime; without reporter data every slot is the system's.
hooked = run(crashlab, "imports")
untouched = run(plain, "imports")
for name in KINDS:
    expect("imports", hooked, ["import program %s hooked" % name])
    expect("plain imports", untouched, ["import program %s system" % name])
    if name != "RtlUnwind":  # the C runtime takes it from ntdll
        expect("imports", hooked, ["import msvcrt %s hooked" % name])
        expect("plain imports", untouched, ["import msvcrt %s system" % name])

# Shut-down puts the imports back before freeing the list; hooked threads end cleanly after it.
unhook = run(crashlab, "unhook")
expect("unhook", unhook, ["list after shut-down 0", "thread ended 1", "thread after 1",
                          "exports after shut-down manager=1 list=0 notifications=0"])
for name in KINDS:
    expect("unhook", unhook, ["import program %s system" % name])



def expect_where(mode, lines):
    """Each notification's address lies in the function that failed, on the thread it ran on."""
    notified = sum(1 for l in lines if l.startswith("notify "))
    where = [l for l in lines if l.startswith("where ")]
    if not notified or where != ["where in=1 thread=1"] * notified:
        failures.append("%s: address and thread: %s" % (mode, where))
        print("FAIL: %s: address and thread of %d notifications: %s" % (mode, notified, where))


executethrow = run(crashlab, "executethrow")
expect("executethrow", executethrow, [
    "notify type=9Exception main=0", "application thrown in Execute", "notifications 1 application 1"])
expect_where("executethrow", executethrow)
timer = run(crashlab, "timer")
expect("timer", timer, ["notify type=9Exception main=1", "application thrown in a timer", "notifications 1 application 1"])
expect_where("timer", timer)
expect("naming", run(crashlab, "naming"), [
    "named in Execute", "named at the boundary", "notifications 0 application 0"])
for how, type in (("throw", "St13runtime_error"), ("av", "16EAccessViolation")):
    window = run(crashlab, "window", how)
    expect("window " + how, window, [
        "notify type=%s main=1" % type, "window result=-1 destructors=0", "window again=-1",
        "notifications 2 application 2"])
    expect_where("window " + how, window)
capture = run(crashlab, "capture")
expect("capture", capture, [
    "capture eip-in-thrower=1 call=1 return=1 esp-below-frame=1 walk=1",
    "capture stack=1 start=1 capped=1 type=1", "application captured"])
# Reported from a boundary after unwinding, the report still starts in the throwing function.
if not any(l.startswith("report first-in-thrower=1 ") for l in capture):
    failures.append("capture: the report's first item is not in the thrower: %s" % capture)
# Reported after unwinding, at a boundary (and, with handled exceptions reported, at a catch's
# end), the stack is the thrower's own at the throw: items 1 and 2 are its callers, round after
# round, while another thread throws without pause.
for program in (crashlab, handled):
    for _ in range(2):
        expect("callers", run(program, "callers"), ["callers reports 20 right 20"])
unhandled = run(crashlab, "unhandledthread")
expect("unhandledthread", unhandled, [
    "notify type=St13runtime_error main=0", "worker exit=1", "notifications 1 application 0"])
expect_where("unhandledthread", unhandled)
main = run(launcher, crashlab, "unhandledmain")
expect("unhandledmain", main, ["notify type=St13runtime_error main=1", "exit code 0x00000001"])
expect_where("unhandledmain", main)
if sum(1 for l in main if l.startswith("notify")) != 1:
    failures.append("unhandledmain: notified %d times" % sum(1 for l in main if l.startswith("notify")))

# Handled exceptions: off by default; on, one report per catch, none for `throw;` or a boundary's.
expect("handled off", run(crashlab, "handled"), [
    "after catch handled=0", "after rethrow handled=0", "after boundary handled=0", "notifications 1 application 1"])
expect("handled on", run(handled, "handled"), [
    "after catch handled=1", "after rethrow handled=2", "after boundary handled=2", "notifications 1 application 1"])

# A synchronised method's exception, raised again in the calling thread, is reported once there,
# with the stack of its throw on the main thread; with handled exceptions reported, the main
# thread's catch that hands it over is no handling.
for program in (crashlab, handled):
    sync = run(program, "syncraise")
    expect("syncraise", sync, [
        "notify type=St13runtime_error main=0", "sync report items SyncThrower SyncCaller",
        "application thrown in a synchronised method", "handled 0", "notifications 1 application 1"])
    expect_where("syncraise", sync)

print("%d failures" % len(failures))
sys.exit(1 if failures else 0)
