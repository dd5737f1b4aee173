#!/usr/bin/env python3
"""Runs the crash-test program's modes of reporters in several modules under Wine: a library's
copy forwarding to the program's, the options a handler changes, excluded threads, the
runtime's note to a debugger, the web output of a CGI program and of a server extension, and
the bug identifier of one fault across three builds.
Usage: crashlab_peers_check.py RUNNER... -- CRASHLAB PLAIN LAUNCHER PEER BUGID0 BUGID1 BUGID2"""
import os
import re
import sys

from lab_checks import LabChecks, crc16_xmodem, exit_code

lab = LabChecks()
crashlab, plain, launcher, peer = lab.programs[:4]
bugid_programs = lab.programs[4:]
failures = lab.failures
check = lab.check


def run(program, *args, env=None):
    """Output bytes of the program under the launcher, CR dropped."""
    return lab.output(launcher, program, *args, timeout=120, env=env, encoding=None)


def lines(out):
    return out.decode("gbk", "replace").replace("(anonymous namespace)::", "").splitlines()


# A library with its own reporter: the program's copy handles, with the library's options;
# the library's handlers hear each event first; its answer is the program's.
out = run(crashlab, "peers-forward")
text = lines(out)
events = [l for l in text if l.startswith(("peer notify", "main notify", "peer custom", "main custom"))]
check("peer forwards 1" in text, "forward: the library forwards: %s" % text)
check("manage result 0" in text and "manage inactive result 1" in text, "forward: the program's answers: %s" % text)
check("reports main 1 peer 0" in text and "reports main 2 peer 0" in text, "forward: the program reports: %s" % text)
wanted = ["peer notify EPeerFault own options 1", "main notify EPeerFault rate 33",
          "peer custom data 0", "main custom data rate 77"]
check([re.sub(r" thread \d+$", "", l) for l in events] == wanted * 2, "forward: peer first, options read back: %s" % events)
check("main record 1" in text and "main record after exit -1" in text, "forward: thread record: %s" % text)
check(exit_code(out) == "0x00000000", "forward: exit %s" % exit_code(out))

# A fault in the library that nothing catches: the program's filter reports it, once, and ends
# the process with its code.
out = run(crashlab, "peers-forward", "fault")
events = [re.sub(r" thread \d+$", "", l) for l in lines(out) if l.startswith(("peer notify", "main notify"))]
check(events == ["peer notify EAccessViolation own options 1", "main notify EAccessViolation rate 33"] and
      exit_code(out) == "0xC0000005", "forward fault: %s %s" % (events, exit_code(out)))

# A notify handler that changes the running module's options: the handling reads them back.
out = run(crashlab, "peers-republish")
text = lines(out)
check(any(l.startswith("main notify EPeerLab rate 10") for l in text) and "main custom data rate 55" in text,
      "republish: %s" % text)

# Excluded threads: their exceptions are left to the caller, the others' are handled.
out = run(crashlab, "peers-excluded")
text = lines(out)
for case in ("case main excluded 1 result 1 notified 0 handled 0", "case main excluded 0 result 0 notified 1 handled 1",
             "case worker excluded 1 result 1 notified 0", "case worker excluded 0 result 0 notified 1"):
    check(case in text, "excluded: %s in %s" % (case, text))

# The runtime's note to a debugger with a whole context is swallowed without a debugger; with
# a context of a few parts it is an exception like any other.
out = run(crashlab, "peers-notice")
check("notice passed notified 0" in lines(out) and exit_code(out) == "0x00000000", "notice: %s" % lines(out))
out = run(crashlab, "peers-notice", "partial")
text = lines(out)
check("notice passed notified 0" not in text and any(l.startswith("main notify") for l in text) and
      exit_code(out) == "0x0EEDFAE4", "notice partial: %s %s" % (text, exit_code(out)))

# A CGI program: its page is kept as it goes out, and the error page follows it on the same
# output, with the message (no dialog kind) or the report (dialog kind set).
env = dict(os.environ, REQUEST_METHOD="GET")
for how, body in (([], "cgi fault"), (["report"], "peer lab report")):
    out = run(crashlab, "peers-cgi", *how, env=env)
    text = out.decode("gbk", "replace")
    page_at = text.find("<html>cgi page</html>")
    status_at = text.find("Status: 200 Error\nContent-Type: text/html\nContent-Length: ")
    check(0 <= page_at < status_at, "cgi %s: page, then the error page: %r" % (how, text[:400]))
    check(body in text[status_at:] and "<!-- DuruvaDod ID: " in text[status_at:], "cgi %s: error page body: %r" % (how, text[status_at:status_at + 2000]))
    check("page loaded 1 has page 1" in text, "cgi %s: the kept page is read back: %s" % (how, lines(out)))
    check("captured page 1 error page 0" in lines(out), "cgi %s: the captured page: %s" % (how, lines(out)))

# A server extension with its own reporter in a program without: the error page goes to the
# client through the control block, after what the request wrote; only that is captured.
out = run(plain, "peers-isapi")
text = lines(out)
check("started 0 peer forwards 0" in text, "isapi: the extension handles itself: %s" % text)
check("isapi status 200 header status 200 Error" in text, "isapi: status through the server: %s" % text)
check("isapi body part 1 message 1 page id 1" in text, "isapi: the page after the request's part: %s" % text)
check("isapi captured part 1 error page 0" in text, "isapi: the captured page: %s" % text)

# The bug identifier across builds: moving the faulting procedure whole keeps it, a line more
# inside it changes it; each is the CRC-16/XMODEM of its text.
ids, sources = [], []
for program in bugid_programs:
    out = run(program)
    m = re.search(rb"^bugid ([0-9A-F]{4})$", out, re.M)
    s = re.search(rb"^bugsource (.*)$", out, re.M)
    ids.append(m.group(1).decode() if m else None)
    sources.append(s.group(1) if s else b"")
    check(m and s and "%04X" % crc16_xmodem(s.group(1)) == m.group(1).decode(), "bug id of %s: %s" % (program, out[-300:]))
    check(b"BugIdFault" in sources[-1], "bug text names the fault: %s" % sources[-1][:300])
if len(ids) == 3:
    check(ids[0] == ids[1] and sources[0] == sources[1], "bug id: a procedure before the fault keeps it: %s" % ids)
    check(ids[0] != ids[2], "bug id: a line inside the fault changes it: %s" % ids)

print("%d failures" % len(failures))
sys.exit(1 if failures else 0)
