#!/usr/bin/env python3
"""Runs the crash-test program's handling-road modes under Wine and checks what the event
handlers saw, the exit codes, the timing bounds, the bug identifier against an independent
CRC-16/XMODEM, the environment of a child, and the exports of the programs.
Usage: crashlab_road_check.py RUNNER... -- CRASHLAB PLAIN LAUNCHER PROGRAM..."""
import os
import re
import subprocess
import sys
import time

from lab_checks import LabChecks, crc16_xmodem, exit_code, time_scale

OBJDUMP = "i686-w64-mingw32-objdump"
EXPORTS = sorted([
    "ExceptionManager", "DuruvaDod_CallGeneralRaise", "DuruvaDod_CallExceptObject",
    "DuruvaDod_LastZorbelException", "DuruvaDod_CallCreateThread", "DuruvaDod_CallResumeThread",
    "DuruvaDod_CallExitThread", "DuruvaDod_ExceptionNotifyEvent", "DuruvaDod_HandledExceptionNotifyEvent",
    "DuruvaDod_ExceptionActionNotifyEvent", "DuruvaDod_ExceptionErrorNotifyEvent",
    "DuruvaDod_PasswordRequestEvent", "DuruvaDod_PasswordRequestEventEx",
    "DuruvaDod_CustomDataRequestEventEx", "DuruvaDod_AttachedFilesRequestEvent",
    "DuruvaDod_CustomWebFieldsRequestEvent", "DuruvaDod_CustomButtonClickEvent"])

lab = LabChecks()
crashlab, plain, launcher = lab.programs[:3]
programs = lab.programs[3:]
failures = lab.failures
check = lab.check


def run(program, *args):
    """(output bytes with CR dropped, seconds) of the program under the launcher."""
    return lab.timed(launcher, program, *args, encoding=None)


def lines(out):
    return out.decode("gbk", "replace").splitlines()


def notifies(out):
    return [l for l in lines(out) if l.startswith("notify ")]


# One notification each, with the right type, address and thread; the filter ends with the code.
for where in ("main", "worker"):
    out, _ = run(crashlab, "road-av", where)
    text = lines(out)
    function = int(next(l for l in text if l.startswith("function ")).split()[1], 16)
    thread = next(l for l in text if l.startswith(where + " ")).split()[1]
    n = notifies(out)
    check(len(n) == 1, "av %s: one notification: %s" % (where, n))
    if n:
        m = re.match(r"notify EAccessViolation address ([0-9A-F]{8}) thread (\d+) main (\d)", n[0])
        check(m and function <= int(m.group(1), 16) < function + 16, "av %s: address in the function: %s" % (where, n[0]))
        check(m and m.group(2) == thread and m.group(3) == ("1" if where == "main" else "0"),
              "av %s: the faulting thread %s: %s" % (where, thread, n[0]))
    check(exit_code(out) == "0xC0000005", "av %s ends with its code: %s" % (where, exit_code(out)))

out, _ = run(crashlab, "road-raise", "E0001234")
n = notifies(out)
check(len(n) == 1 and "EExternalException" in n[0] and "E0001234" in n[0], "raise: one notification: %s" % n)
check(exit_code(out) == "0xE0001234", "raise ends with its code: %s" % exit_code(out))

out, _ = run(crashlab, "road-overflow")
n = notifies(out)
check(len(n) == 1 and "EStackOverflow" in n[0] and " main 1 " in n[0], "overflow: one notification: %s" % n)
check(exit_code(out) == "0xC00000FD", "overflow ends with its code: %s" % exit_code(out))
# After a stack overflow nothing is served on the overflowed thread: a message sent to its
# window during the handling times out.
out, _ = run(crashlab, "road-overflow", "window")
check(len(notifies(out)) == 1 and "overflow send answered 0" in lines(out) and exit_code(out) == "0xC00000FD",
      "overflow with a window: %s" % lines(out))

# Nothing reported for EAbort or thread naming.
out, _ = run(crashlab, "road-threadname")
check(not notifies(out) and "named notifications 0" in lines(out) and exit_code(out) == "0x00000000",
      "thread naming is not reported: %s" % lines(out))
# A handling's end forgets its object: ExceptionManager without one reports nothing more.
out, _ = run(crashlab, "road-forget")
check("forget result 1 notifications 1 reports 1" in lines(out), "forget: %s" % lines(out))
out, _ = run(crashlab, "road-abort")
check(not notifies(out) and "abort result 1 notifications 0 reports 0" in lines(out), "EAbort: %s" % lines(out))

# Concurrency: two framework threads at once; a handler that throws or faults.
out, _ = run(crashlab, "road-concurrent")
n = notifies(out)
check(len(n) == 2 and len({l.split(" thread ")[1].split()[0] for l in n}) == 2, "concurrent: two threads: %s" % n)
check("notifications 2 reports 2 overlap 0" in lines(out), "concurrent: ReportCounter 2, no overlap: %s" % lines(out))
# Either way the handler is abandoned where it failed and the program goes on.
for how in ("throws", "faults"):
    out, seconds = run(crashlab, "road-concurrent", how)
    check(len(notifies(out)) == 1, "handler %s: one notification: %s" % (how, notifies(out)))
    check("notifications 1 reports 1 overlap 0" in lines(out), "handler %s: the program goes on: %s" % (how, lines(out)))
    check(seconds < 10 * time_scale() and exit_code(out) == "0x00000000",
          "handler %s: ends (%s) within 10 s: %.1f" % (how, exit_code(out), seconds))

# Filters: handler 0 and 1 report nothing; the custom message names this exception's message.
out, _ = run(crashlab, "road-filters")
text = lines(out)
for case in ("case zero result 0 notified 0", "case one result 1 notified 0",
             "case two result 0 notified 1 message custom: first two",
             "case two-again result 0 notified 1 message custom: second two",
             "case kind result 0 notified 1 message kind message"):
    check(any(l.startswith(case) for l in text), "filters: %s in %s" % (case, text))

out, _ = run(crashlab, "road-dispatch")
order = [l for l in lines(out) if l.startswith("dispatch ")]
check(order == ["dispatch B reserve 0", "dispatch A reserve 0", "dispatch procedure"], "dispatch order: %s" % order)
# The emergency reserve is given back while a handling holds the lock, and taken again after.
check("reserve before 1" in lines(out) and "reserve after 1" in lines(out), "reserve: %s" % lines(out))

# A filter's restart: the program ends with 1 and starts again with its command line in the
# folder it started in, although it had moved to another.
for stale in ("restart-marker.txt", os.path.join("restart-elsewhere", "restart-marker.txt")):
    if os.path.exists(stale):
        os.remove(stale)
out, _ = run(crashlab, "road-restart", "restart-marker.txt")
check(exit_code(out) == "0x00000001" and "not restarted" not in lines(out), "restart ends the first: %s" % lines(out))
marker = []
for _ in range(100):
    marker = open("restart-marker.txt").read().splitlines() if os.path.exists("restart-marker.txt") else []
    if len(marker) > 1:
        break
    time.sleep(0.1)
check(len(marker) == 2 and marker[0].startswith("first in ") and marker[1] == "restarted in " + marker[0][9:],
      "the restarted program runs in the start-up folder: %s" % marker)
check(not os.path.exists(os.path.join("restart-elsewhere", "restart-marker.txt")), "nothing ran in the other folder")
if os.path.exists("restart-marker.txt"):
    os.remove("restart-marker.txt")
if os.path.isdir("restart-elsewhere") and not os.listdir("restart-elsewhere"):
    os.rmdir("restart-elsewhere")

# Action codes in order; clearing the continue flag at 4 skips only the e-mail step.
full = ["action 0", "action 1", "action 2", "step log", "action 3", "action 4", "step mail", "action 5",
        "action 6", "step web", "action 7"]
for cleared, wanted in ((None, full), ("4", [l for l in full if l != "step mail"])):
    out, _ = run(crashlab, "road-actions", *([cleared] if cleared else []))
    seen = [l for l in lines(out) if (l.startswith("action ") or l.startswith("step ")) and
            l not in ("step version", "step duplicate")]
    check(seen == wanted, "actions (cleared %s): %s" % (cleared, seen))
    # The log's version check comes before the duplicate search.
    steps = [l for l in lines(out) if l in ("step version", "step duplicate")]
    check(steps == ["step version", "step duplicate"], "log order: %s" % steps)

# The bug identifier: the same for the same throw, and the CRC-16/XMODEM of its text.
out, _ = run(crashlab, "road-bugid")
ids = re.findall(rb"^bugid ([0-9A-F]{4})$", out, re.M)
sources = re.findall(rb"^bugsource (.*)$", out, re.M)
check(len(ids) == 2 and ids[0] == ids[1], "bug id repeats: %s" % ids)
check(sources and b"RoadBugFault" in sources[0] or sources and b"BugId" in sources[0], "bug text names the function: %s" % sources[:1])
if ids and sources:
    check("%04X" % crc16_xmodem(sources[0]) == ids[0].decode(), "bug id is the CRC-16/XMODEM of its text")
# Made again here from the report's facts: the two module texts (no version resource: the
# file name alone), the type, then unit, class, procedure and line distance of each item with
# a line in the first item's module, in order.
first = out.split(b"bugid ")[0]
types = re.findall(rb"^bugtype (.*)$", first, re.M)
items = re.findall(rb"^bugitem (\d+) (\d) (.*)\|(.*)\|(.*)\|(-?\d+)$", first, re.M)
made = b"crashlab.exe" * 2 + (types[0] if types else b"") + b"".join(
    u + c + p + d for k, same, u, c, p, d in items if k == b"4" and same == b"1")
check(types == [b"(anonymous namespace)::ERoadTest"] and items, "bug facts: %s %s" % (types, items[:3]))
check(sources and sources[0] == made, "bug text made again: %s / %s" % (made[:200], sources[:1]))
check(ids and "%04X" % crc16_xmodem(made) == ids[0].decode(), "bug id of the text made again")

# A child started after a report sees the variables; _BugReport is capped.
out, _ = run(crashlab, "road-env")
text = lines(out)
check("env _MainModuleName crashlab.exe" in text, "child: _MainModuleName: %s" % text)
check("env _ExceptMsg 环境 message" in text, "child: _ExceptMsg: %s" % text)
check("env _LineBreak 0D0A" in text, "child: _LineBreak: %s" % text)
check("env _BugReport length 32767" in text, "child: _BugReport capped: %s" % text)
# A later report's message that can't be set (over the 32,767 characters a variable holds)
# leaves nothing of the earlier one behind.
out, _ = run(crashlab, "road-env", "long")
text = lines(out)
message = [l for l in text if l.startswith("env _ExceptMsg")]
check("reports 2" in text and len(message) == 1 and "环境" not in message[0], "child after a long message: %s" % message)

# A main-thread exception with a visible window, pumping allowed and not: messages sent to it
# are served while the exception is handled, the window's text is read without sending, and
# the handling ends in time; so too for a real fault whose report the program's steps build.
for how in ([], ["nopump"], ["av"], ["av", "nopump"]):
    out, seconds = run(crashlab, "road-window", *how)
    text = lines(out)
    read = "report built 1" if "av" in how else "caption read 1"
    check("window done served 1 during 1" in text and "sent answer 7" in text and read in text,
          "window %s: %s" % (how, text))
    check(len(notifies(out)) == 0 and text.count("window notify") == 1, "window %s: one notification" % how)
    check(seconds < 10 * time_scale(), "window %s within 10 s: %.1f" % (how, seconds))

# The filter tells exceptions apart by identity, not by message.
out, _ = run(crashlab, "road-dedup")
check(len(notifies(out)) == 2 and exit_code(out) == "0xE0001234", "dedup: %s %s" % (notifies(out), exit_code(out)))

# Shut-down closes the road under the lock before it frees anything: routing threads don't
# keep the program from ending, nor crash it.
for _ in range(3):
    out, seconds = run(crashlab, "road-shutdown")
    check(exit_code(out) == "0x00000000" and seconds < 10 * time_scale(), "shut-down: %s in %.1f s" % (exit_code(out), seconds))

# Without reporter data nothing starts and nothing is told.
out, _ = run(plain, "road-unstamped")
check("started 0 capture 0" in lines(out) and "notifications 0" in lines(out), "unstamped: %s" % lines(out))

# Exactly the seventeen exports, undecorated.
for program in programs:
    dump = subprocess.run([OBJDUMP, "-p", program], capture_output=True, text=True).stdout
    table = dump.split("[Ordinal/Name Pointer] Table")
    names = sorted(re.findall(r"^\s*\[\s*\d+\] (\S+)$", table[1], re.M)) if len(table) > 1 else []
    check(names == EXPORTS, "%s exports: %s" % (program.split("/")[-1], names))

print("%d failures" % len(failures))
sys.exit(1 if failures else 0)
