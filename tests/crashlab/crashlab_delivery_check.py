#!/usr/bin/env python3
"""Runs the crash-test program's delivery modes under Wine against a scripted SMTP peer that
greets 5 s after each connection, and checks the road's send thread: the program goes on at
once, the thread's handlers see the whole exception, a second fault waits until the delivery
has ended, the stacks are let go afterwards; a pressed Terminate ends the process although a
handler of the delivery throws, whether the delivery runs in the background or inline. Three
faults within a minute end the process. Simple MAPI gets the main window as parent on the main
thread only. A fault at the process's filter is mailed inline, and a program that ends during a
slow delivery ends in time.
Usage: crashlab_delivery_check.py RUNNER... -- CRASHLAB LAUNCHER MAPI_PROVIDER"""
import glob
import os
import re
import shutil
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "crashreport", "delivery"))
import mail_peers  # noqa: E402
from lab_checks import LabChecks, time_scale  # noqa: E402

lab = LabChecks()
crashlab, launcher, provider = lab.programs[:3]
check = lab.check


def run(*args):
    return lab.run(launcher, crashlab, *args)


def at(pattern, text):
    m = re.search(pattern, text, re.M)
    return int(m.group(1)) if m else None


work = tempfile.mkdtemp(prefix="vidudo-crashlab-delivery-")
peer = mail_peers.ScriptedSmtp(work, 334, greeting_delay=5)
try:
    out = run("delivery-mail", str(peer.port))
    first = at(r"^first went on at (\d+)$", out)
    check(first is not None and first < 4000, "the program goes on before the greeting (%s ms)" % first)
    sender = re.findall(r"^action (\d+) on other at (\d+) stacks (\d) report (\d) context (\d) focused (\d) object (.*)$",
                        out, re.M)
    check([a[0] for a in sender][:2] == ["4", "5"], "the send thread tells actions 4 and 5: %s" % sender)
    for action in sender[:2]:
        check(action[2:6] == ("1", "1", "1", "1"), "the thread's handlers see stacks, report, context, focus: %s"
              % (action,))
        check(action[6].strip() != "", "the thread's handlers see the thrown object: %r" % action[6])
    after_mail = int(sender[1][1]) if len(sender) > 1 else None
    second = at(r"^notify second fault at (\d+)$", out)
    check(second is not None and after_mail is not None and second >= after_mail,
          "the second fault is handled after the delivery (%s, mail ended %s)" % (second, after_mail))
    check(second is not None and second >= 5000, "the second fault waited for the greeting (%s ms)" % second)
    check("stacks after delivery 0" in out, "the road no longer leads to the delivered report's stacks")
    check("exit code 0x00000000" in out, "the program ends normally")
    sessions = sorted(glob.glob(os.path.join(work, "session-*.log")))
    data = b"".join(open(s, "rb").read() for s in sessions)
    check(data.count(b"D .\r\n") == 1, "the report arrived at the slow peer (%d)" % data.count(b"D .\r\n"))
    check(b"MAIL FROM:<lab@x.test>" in data, "the envelope sender is the options'")

    for s in sessions:
        os.remove(s)
    # In the background the send thread ends the process; inline the road does, after the
    # delivery raised in the handling thread, before the program goes on.
    # Inline, the handlers are told on the faulting (main) thread.
    for mode, went_on, teller in (("delivery-terminate", True, "other"), ("delivery-terminate-inline", False, "main")):
        out = run(mode, str(peer.port))
        check(("went on at" in out) == went_on, "%s: the program went on after the fault: %s" % (mode, went_on))
        check("files handler throws" in out, "%s: the delivery's handler threw" % mode)
        check(re.search(r"^action 8 on " + teller, out, re.M) is not None, "%s: action 8 told on %s" % (mode, teller))
        check("still running" not in out, "%s: the pressed Terminate ended the process" % mode)
        check("exit code 0x00000001" in out, "%s: terminated with code 1" % mode)
        check(not glob.glob(os.path.join(work, "session-*.log")), "%s: nothing was mailed" % mode)

    # The road keeps each report's time: the third fault within a minute ends the process.
    for faults, ends in ((2, False), (4, True)):
        out = run("crash-rate", str(faults))
        went_on = re.findall(r"^fault (\d) went on$", out, re.M)
        check(went_on == ["1", "2"], "crash rate %d: the faults that went on: %s" % (faults, went_on))
        check(("still running" in out) != ends, "crash rate %d: the program ends: %s" % (faults, ends))
        check(("exit code 0x00000001" if ends else "exit code 0x00000000") in out, "crash rate %d: exit code" % faults)
        check((re.search(r"^action 8 ", out, re.M) is not None) == ends, "crash rate %d: action 8 told: %s" % (faults, ends))

    # The main thread's MAPI calls are owned by the main window; another thread's by none.
    out = run("mapi-parent", "Z:" + provider.replace("/", "\\"))
    window = at(r"^window (\d+)$", out)
    check(window is not None and window != 0, "the main window was made (%s)" % window)
    expected = ["main sent 1 logon parent=%s" % window, "main sent 1 logoff session=77 parent=%s" % window,
                "other sent 1 logon parent=0", "other sent 1 logoff session=77 parent=0"]
    got = re.findall(r"^(?:main|other) sent .*$", out, re.M)
    check(got == expected, "the MAPI parents: %s" % got)

    # At the process's filter the handling is inline although the options ask for the
    # background: the report reaches the peer before the filter ends the process with the code.
    for s in glob.glob(os.path.join(work, "session-*.log")):
        os.remove(s)
    out = run("delivery-filter", str(peer.port))
    sender = re.findall(r"^action (\d+) on (\w+)", out, re.M)
    check(sender[:2] == [("4", "main"), ("5", "main")], "the faulting thread's handling mails inline: %s" % sender)
    check("still running" not in out and "exit code 0xC0000005" in out, "the filter ends with the fault's code")
    data = b"".join(open(s, "rb").read() for s in glob.glob(os.path.join(work, "session-*.log")))
    check(data.count(b"D .\r\n") == 1, "the report arrived before the end (%d)" % data.count(b"D .\r\n"))

    # So too at the terminate handler: main's exception nobody catches is mailed before the
    # process ends with 1.
    for s in glob.glob(os.path.join(work, "session-*.log")):
        os.remove(s)
    out = run("delivery-unhandledmain", str(peer.port))
    sender = re.findall(r"^action (\d+) on (\w+)", out, re.M)
    check(sender[:2] == [("4", "main"), ("5", "main")], "unhandled on main: mailed in the handling: %s" % sender)
    check("exit code 0x00000001" in out, "unhandled on main ends with 1")
    data = b"".join(open(s, "rb").read() for s in glob.glob(os.path.join(work, "session-*.log")))
    check(data.count(b"D .\r\n") == 1, "unhandled on main: the report arrived (%d)" % data.count(b"D .\r\n"))

    # A program ending while its report waits for the peer's greeting exits within shut-down's
    # limit (5 s) and with its own code.
    slow = mail_peers.ScriptedSmtp(work, 334, greeting_delay=30)
    try:
        out, seconds = lab.timed(launcher, crashlab, "delivery-exit", str(slow.port))
        print(out)
        check("went on at" in out, "the program went on after the fault")
        check("exit code 0x00000000" in out, "the program ends normally during the delivery")
        # shut-down's own 5 s, and the program's start and end, which emulation slows
        bound = 5 + 3 * time_scale()
        check(seconds < bound, "the program ends within shut-down's limit: %.1f s (bound %d s)" % (seconds, bound))
    finally:
        slow.listener.close()
finally:
    peer.listener.close()
    shutil.rmtree(work, ignore_errors=True)

sys.exit(lab.finish("crashlab delivery"))
