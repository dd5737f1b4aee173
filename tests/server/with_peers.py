#!/usr/bin/env python3
"""Starts the trading-server fixture and real SOCKS servers on loopback, runs a command with
their ports in the environment, and stops them again. Usage: with_peers.py COMMAND [ARGS...]

Each proxy connects out from its own loopback address, so the fixture's log shows which
requests came through which proxy:
  VIDUDO_SERVER_PORT       fixture (HTTP)            VIDUDO_SILENT_PORT   accepts, never answers
  VIDUDO_BLACKHOLE_PORT    connections never complete   VIDUDO_SERVER2_PORT  a second fixture
  VIDUDO_CLOSED_PORT       nothing listens           VIDUDO_SOCKS5_PORT   microsocks, no auth, from 127.0.0.2
  VIDUDO_SOCKS5_AUTH_PORT  microsocks, user "vidudo" password "s3cret", from 127.0.0.3
  VIDUDO_SOCKS4_PORT       danted (SOCKS 4), from 127.0.0.4"""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_listening(port, proc, name, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if proc.poll() is not None:
            sys.exit(f"{name} exited with {proc.returncode}")
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return
        except OSError:
            time.sleep(0.05)
    sys.exit(f"{name} does not listen on {port}")


DANTE_CONF = """logoutput: {log}
internal: 127.0.0.1 port = {port}
external: 127.0.0.4
clientmethod: none
socksmethod: none
user.privileged: root
user.unprivileged: nobody
client pass {{ from: 127.0.0.0/8 to: 0.0.0.0/0 }}
socks pass {{ from: 127.0.0.0/8 to: 0.0.0.0/0 }}
"""


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    work = tempfile.mkdtemp(prefix="vidudo-peers-")
    procs = []
    try:
        fixture = subprocess.Popen([sys.executable, os.path.join(HERE, "trading_server.py"), "--port", "0"],
                                   stdout=subprocess.PIPE, text=True)
        procs.append(fixture)
        ready = json.loads(fixture.stdout.readline())
        env = dict(os.environ)
        env["VIDUDO_SERVER_PORT"] = str(ready["port"])
        env["VIDUDO_SILENT_PORT"] = str(ready["silent_port"])
        env["VIDUDO_BLACKHOLE_PORT"] = str(ready["blackhole_port"])
        env["VIDUDO_CLOSED_PORT"] = str(free_port())
        # A second server, for tests that need two sites.
        fixture2 = subprocess.Popen([sys.executable, os.path.join(HERE, "trading_server.py"), "--port", "0"],
                                    stdout=subprocess.PIPE, text=True)
        procs.append(fixture2)
        env["VIDUDO_SERVER2_PORT"] = str(json.loads(fixture2.stdout.readline())["port"])

        peers = []
        socks5 = free_port()
        peers.append(("microsocks", socks5, ["microsocks", "-i", "127.0.0.1", "-p", str(socks5), "-b", "127.0.0.2"]))
        socks5a = free_port()
        peers.append(("microsocks auth", socks5a, ["microsocks", "-i", "127.0.0.1", "-p", str(socks5a),
                                                    "-b", "127.0.0.3", "-u", "vidudo", "-P", "s3cret"]))
        socks4 = free_port()
        conf = os.path.join(work, "danted.conf")
        with open(conf, "w") as f:
            f.write(DANTE_CONF.format(port=socks4, log=os.path.join(work, "danted.log")))
        danted = shutil.which("danted") or "/usr/sbin/danted"
        peers.append(("danted", socks4, [danted, "-f", conf, "-p", os.path.join(work, "danted.pid"), "-N", "1"]))
        for name, port, cmd in peers:
            p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=open(os.path.join(work, name + ".err"), "w"))
            procs.append(p)
            wait_listening(port, p, name)
        env["VIDUDO_SOCKS5_PORT"] = str(socks5)
        env["VIDUDO_SOCKS5_AUTH_PORT"] = str(socks5a)
        env["VIDUDO_SOCKS4_PORT"] = str(socks4)
        return subprocess.call(sys.argv[1:], env=env)
    finally:
        for p in reversed(procs):
            p.terminate()
        for p in procs:
            try:
                p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                p.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
