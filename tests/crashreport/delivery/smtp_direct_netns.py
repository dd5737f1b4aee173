#!/usr/bin/env python3
"""Runs the direct SMTP test under Wine inside a network namespace of its own: dnsmasq answers
the mail-exchanger questions (x.test -> mx.x.test -> 127.0.0.1, nx.test none) and aiosmtpd
takes mail on port 25, so nothing leaves the machine.
Usage: smtp_direct_netns.py WINE_TEST_SH TEST_EXE
The test gets VIDUDO_PEER_DIR (aiosmtpd stores msg-N.eml there) and filter *Direct*."""
import os
import subprocess
import sys
import tempfile
import time

NS = f"vidudo-smtp-{os.getpid()}"

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


def sh(*args, check=True):
    return subprocess.run(args, check=check, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


def in_ns(*args):
    return ["ip", "netns", "exec", NS, *args]


def main():
    wine_test, exe = sys.argv[1], sys.argv[2]
    prefix = os.environ["WINEPREFIX"] + "-smtpns"
    work = tempfile.mkdtemp(prefix="vidudo-smtpns-")
    env = dict(os.environ, WINEPREFIX=prefix, VIDUDO_PEER_DIR=work)
    procs = []
    try:
        subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        sh("ip", "netns", "add", NS)
        sh(*in_ns("ip", "link", "set", "lo", "up"))
        os.makedirs(f"/etc/netns/{NS}", exist_ok=True)
        with open(f"/etc/netns/{NS}/resolv.conf", "w") as f:
            f.write("nameserver 127.0.0.1\n")
        procs.append(subprocess.Popen(in_ns("dnsmasq", "--keep-in-foreground", "--no-resolv", "--no-hosts",
                                            "--conf-file=/dev/null", "--listen-address=127.0.0.1", "--bind-interfaces",
                                            "--port=53", "--user=root", "--pid-file=",
                                            "--mx-host=x.test,mx.x.test,10", "--address=/mx.x.test/127.0.0.1",
                                            "--local=/test/"),
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        smtp = subprocess.Popen(in_ns("/usr/bin/python3", "-c", SMTP, work), stdout=subprocess.PIPE, text=True)
        procs.append(smtp)
        if smtp.stdout.readline().strip() != "ready":
            sys.exit("aiosmtpd did not start in the namespace")
        time.sleep(0.3)
        run = subprocess.run(in_ns(wine_test, "--timeout", "120", exe, "--gtest_filter=*Direct*"), env=env)
        return run.returncode
    finally:
        subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for p in procs:
            p.terminate()
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
        sh("ip", "netns", "del", NS, check=False)
        subprocess.run(["rm", "-rf", f"/etc/netns/{NS}", work])


if __name__ == "__main__":
    sys.exit(main())
