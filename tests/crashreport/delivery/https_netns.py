#!/usr/bin/env python3
"""Runs the HTTPS upload to the default port 443 inside a network namespace of its own, so that
the port belongs to the test. Usage: https_netns.py WINE_TEST_SH TEST_EXE

The peers of upload_peers.py start inside the namespace; Wine's sockets are made by wineserver,
so the test uses the namespace prefix ($WINEPREFIX-netns) whose wineserver starts inside it."""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
NS = f"vidudo-https-{os.getpid()}"


def main():
    wine_test, exe = sys.argv[1], sys.argv[2]
    env = dict(os.environ, WINEPREFIX=os.environ["WINEPREFIX"] + "-netns", VIDUDO_HTTPS_443="1")
    quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if subprocess.run(["ip", "netns", "add", NS], **quiet).returncode != 0:
        print("network namespaces are not permitted here: the upload to port 443 is not tested")
        return 0
    try:
        subprocess.run(["ip", "netns", "exec", NS, "ip", "link", "set", "lo", "up"], check=True)
        # A server of this prefix left from an earlier run lives in a namespace that is gone.
        subprocess.run(["wineserver", "-k"], env=env, **quiet)
        return subprocess.call(["ip", "netns", "exec", NS, sys.executable, os.path.join(HERE, "upload_peers.py"),
                                wine_test, "--timeout", "100", exe, "--gtest_filter=HttpsDefaultPort.*"], env=env)
    finally:
        subprocess.run(["wineserver", "-k"], env=env, **quiet)
        subprocess.run(["ip", "netns", "del", NS], **quiet)


if __name__ == "__main__":
    sys.exit(main())
