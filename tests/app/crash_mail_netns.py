#!/usr/bin/env python3
"""Runs the program-crash test's SMTP case under Wine inside a network namespace of its own:
the trading fixture and aiosmtpd on the namespace's loopback (port 25, as the copy of the
program is stamped), so nothing leaves the machine and no fixed port is shared. Then reads the
message the program sent for its fault: the recipient, the subject, and the zip with the log
copy (the report the program keeps beside itself) and the screenshot.
Usage: crash_mail_netns.py WINE_TEST_SH TEST_EXE PROGRAM_FOLDER"""
import email
import email.policy
import io
import json
import os
import subprocess
import sys
import tempfile
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURE = os.path.join(HERE, "..", "server", "trading_server.py")
SUBJECT = "Vidudo模拟交易系统 错误报告"

# mail_peers' recorder (msg-N.eml with msg-N.json), started inside the namespace.
SMTP = r'''
import sys, time
sys.path.insert(0, sys.argv[1])
from mail_peers import start_smtp
start_smtp(sys.argv[2], 25)
print("ready", flush=True)
time.sleep(600)
'''
PEERS = os.path.join(HERE, "..", "crashreport", "delivery")
sys.path.insert(0, PEERS)
from netns import NetNamespace  # noqa: E402

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def reports(text):
    return [r for r in text.split(b"\r\n\r\n\r\n\r\n") if b"-\r\n|" in r]


def check_message(work, program_folder):
    stored = sorted(n for n in os.listdir(work) if n.endswith(".eml"))
    check(stored == ["msg-1.eml"], "one message for one fault: %s" % stored)
    if not stored:
        return
    with open(os.path.join(work, "msg-1.json")) as f:
        envelope = json.load(f)
    check(envelope["to"] == ["crash@vidudo.test"], "the envelope's recipient: %s" % envelope["to"])
    with open(os.path.join(work, "msg-1.eml"), "rb") as f:
        msg = email.message_from_binary_file(f, policy=email.policy.default)
    check(str(msg["Subject"]) == SUBJECT, "the subject: %r" % str(msg["Subject"]))
    with open(os.path.join(work, "msg-1.eml"), "rb") as f:
        raw = f.read()
    check(b"\r\nTo: <crash@vidudo.test>\r\n" in raw, "the To line names the recipient")
    parts = [p for p in msg.iter_attachments()]
    names = [p.get_filename() for p in parts]
    check(names == ["BugReport.zip"], "one attachment, the zip: %s" % names)
    if names != ["BugReport.zip"]:
        return
    check(parts[0].get_content_type() == "application/octet-stream", "the zip's type")
    archive = zipfile.ZipFile(io.BytesIO(parts[0].get_content()))
    entries = sorted(archive.namelist())
    check(entries == ["Screenshot.png", "Vidudo.elf"], "the zip holds the log copy and the screenshot: %s" % entries)
    if "Screenshot.png" in entries:
        check(archive.read("Screenshot.png")[:8] == b"\x89PNG\r\n\x1a\n", "the screenshot is a PNG")
    if "Vidudo.elf" not in entries:
        return
    sent = reports(archive.read("Vidudo.elf"))
    with open(os.path.join(program_folder, "Vidudo.elf"), "rb") as f:
        kept = reports(f.read())
    check(len(sent) == 1 and sent == kept, "the log copy is the report the program keeps")
    if sent:
        check("存取地址".encode("gbk") in sent[0] and b"'Vidudo.exe'" in sent[0],
              "the report is the program's access violation")
        rule = sent[0].rfind(b"\r\n", 0, sent[0].find(b"-\r\n|"))
        general = sent[0][:sent[0].rfind(b"\r\n", 0, rule) + 2]
        check(general.endswith(b"\r\n\r\n") and not general.endswith(b"\r\n\r\n\r\n"),
              "one empty line separates the general part from the call stack")


def main():
    wine_test, exe, program_folder = sys.argv[1:4]
    work = tempfile.mkdtemp(prefix="vidudo-crashmail-")
    try:
        # The namespace's sockets are the wineserver's: it starts inside.
        with NetNamespace("crashmail", dict(os.environ, VIDUDO_PEER_DIR=work), "-crashns") as ns:
            fixture = ns.popen([sys.executable, FIXTURE, "--port", "0"], stdout=subprocess.PIPE, text=True)
            env = dict(ns.env, VIDUDO_SERVER_PORT=str(json.loads(fixture.stdout.readline())["port"]))
            smtp = ns.popen(["/usr/bin/python3", "-c", SMTP, PEERS, work], stdout=subprocess.PIPE, text=True)
            if smtp.stdout.readline().strip() != "ready":
                sys.exit("aiosmtpd did not start in the namespace")
            started = time.monotonic()
            run = subprocess.run(ns.cmd(wine_test, "--gui", "--timeout", "200", exe, "--gtest_filter=*Smtp*"), env=env)
            print("wine run: %.1f s" % (time.monotonic() - started))
            check(run.returncode == 0, "the test under Wine passed")
            check_message(work, program_folder)
    finally:
        subprocess.run(["rm", "-rf", work])
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
