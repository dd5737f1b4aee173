#!/usr/bin/env python3
"""Runs the direct SMTP test under Wine inside a network namespace of its own: dnsmasq answers
the mail-exchanger questions (x.test -> mx.x.test -> 127.0.0.1, nx.test none) and aiosmtpd
takes mail on port 25, so nothing leaves the machine.
Usage: smtp_direct_netns.py WINE_TEST_SH TEST_EXE
The test gets VIDUDO_PEER_DIR (aiosmtpd stores msg-N.eml there) and filter *Direct*."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from netns import NetNamespace  # noqa: E402

SMTP = r'''
import json, os, sys, time
from aiosmtpd.controller import Controller
work = sys.argv[1]
count = [0]
class Recorder:
    async def handle_DATA(self, server, session, envelope):
        count[0] += 1
        with open(os.path.join(work, "msg-%d.eml" % count[0]), "wb") as f:
            f.write(envelope.original_content or b"")
        with open(os.path.join(work, "msg-%d.json" % count[0]), "w") as f:
            json.dump({"from": envelope.mail_from, "to": envelope.rcpt_tos}, f)
        return "250 OK stored"
c = Controller(Recorder(), hostname="127.0.0.1", port=25)
c.start()
print("ready", flush=True)
time.sleep(600)
'''


def main():
    wine_test, exe = sys.argv[1], sys.argv[2]
    work = tempfile.mkdtemp(prefix="vidudo-smtpns-")
    try:
        with NetNamespace("smtp", dict(os.environ, VIDUDO_PEER_DIR=work), "-smtpns") as ns:
            ns.resolv("nameserver 127.0.0.1\n")
            ns.start_dnsmasq("--mx-host=x.test,mx.x.test,10", "--address=/mx.x.test/127.0.0.1", "--local=/test/")
            smtp = ns.popen(["/usr/bin/python3", "-c", SMTP, work], stdout=subprocess.PIPE, text=True)
            if smtp.stdout.readline().strip() != "ready":
                sys.exit("aiosmtpd did not start in the namespace")
            time.sleep(0.3)
            run = subprocess.run(ns.cmd(wine_test, "--timeout", "120", exe, "--gtest_filter=*Direct*"), env=ns.env)
            return run.returncode
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
