#!/usr/bin/env python3
"""Runs the mail-exchanger lookup test under Wine inside a network namespace of its own, so
that port 53 and the resolver list belong to the test and nothing leaves the machine.
Usage: dns_netns.py WINE_TEST_SH TEST_EXE

Wine's sockets are made by wineserver, so the test uses a prefix of its own ($WINEPREFIX-netns)
whose wineserver is started inside the namespace. Two rounds, each a run of TEST_EXE:
  resolvers  resolv.conf: dnsmasq (127.0.0.1, mx-host x.test), a crafted responder (127.0.0.3,
             a CNAME-only answer), 0.0.0.0
  silent     resolv.conf: a silent resolver (127.0.0.2), 0.0.0.0; the build's fallback
             resolver 127.0.0.254 is silent too. Both record when each question arrived."""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from netns import NetNamespace  # noqa: E402


# Runs inside the namespace: UDP listeners that record questions and may answer them.
LISTENER = r'''
import json, socket, sys, threading, time
out, specs = sys.argv[1], json.loads(sys.argv[2])
records, lock = [], threading.Lock()
def cname_only(q):
    question_end = 12
    while q[question_end]:
        question_end += 1 + q[question_end]
    question = q[12:question_end + 5]
    answer = b"\xc0\x0c\x00\x05\x00\x01\x00\x00\x0e\x10\x00\x08\x05other\xc0\x0c"
    return q[:2] + b"\x81\x80\x00\x01\x00\x01\x00\x00\x00\x00" + question + answer
def serve(address, mode):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind((address, 53))
    while True:
        q, peer = s.recvfrom(4096)
        with lock:
            records.append({"server": address, "t": time.monotonic(), "query": q.hex()})
            with open(out, "w") as f:
                json.dump(records, f)
        if mode == "cname":
            s.sendto(cname_only(q), peer)
for address, mode in specs:
    threading.Thread(target=serve, args=(address, mode), daemon=True).start()
print("ready", flush=True)
time.sleep(600)
'''


def main():
    wine_test, exe = sys.argv[1], sys.argv[2]
    work = tempfile.mkdtemp(prefix="vidudo-dns-")
    failures = []
    try:
        with NetNamespace("dns", os.environ, "-netns") as ns:
            ns.start_dnsmasq("--mx-host=x.test,mx.x.test,10", "--local=/test/", "--local=/invalid/")
            record = os.path.join(work, "questions.json")
            specs = [["127.0.0.2", "silent"], ["127.0.0.3", "cname"], ["127.0.0.254", "silent"]]
            listener = ns.popen([sys.executable, "-c", LISTENER, record, json.dumps(specs)], stdout=subprocess.PIPE,
                                text=True)
            if listener.stdout.readline().strip() != "ready":
                sys.exit("the DNS listeners did not start")
            time.sleep(0.3)

            rounds = [("resolvers", "nameserver 127.0.0.1\nnameserver 127.0.0.3\nnameserver 0.0.0.0\n"),
                      ("silent", "nameserver 127.0.0.2\nnameserver 0.0.0.0\n")]
            for name, conf in rounds:
                ns.resolv(conf)
                started = time.monotonic()
                run = subprocess.run(ns.cmd(wine_test, "--timeout", "100", exe, f"--gtest_filter=*{name.capitalize()}*"),
                                     env=dict(ns.env, VIDUDO_DNS_ROUND=name), stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, text=True)
                print(run.stdout)
                if run.returncode != 0:
                    failures.append(f"round {name}: test exited with {run.returncode}")
                if name == "silent":
                    failures += check_silent_round(record, started)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for f in failures:
        print("FAILED:", f)
    return 1 if failures else 0


def check_silent_round(record, started):
    try:
        with open(record) as f:
            questions = json.load(f)
    except (OSError, ValueError):
        return ["silent round: no question arrived"]
    # The listeners keep every question of the run; this round's came after it started.
    questions = [q for q in questions if q["t"] >= started]
    servers = [q["server"] for q in questions]
    expected = ["127.0.0.2"] * 3 + ["127.0.0.254"] * 3
    failures = []
    if servers != expected:
        failures.append(f"silent round: questions went to {servers}, expected {expected}")
        return failures
    query = bytes.fromhex(questions[0]["query"])
    if query != b"AA\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00\x01x\x04test\x00\x00\x0f\x00\x01":
        failures.append(f"silent round: question {query!r}")
    gaps = [round((b["t"] - a["t"]) * 1000) for a, b in zip(questions, questions[1:])]
    print("silent round: waits between questions (ms):", gaps)
    for got, want in zip(gaps, [1050, 1150, 1250, 1050, 1150]):
        if abs(got - want) > 300:
            failures.append(f"silent round: waited {got} ms where {want} was due (all: {gaps})")
    return failures


if __name__ == "__main__":
    sys.exit(main())
