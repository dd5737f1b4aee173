#!/usr/bin/env python3
"""Runs the HTTPS upload to the default port 443 inside a network namespace of its own, so that
the port belongs to the test. Usage: https_netns.py WINE_TEST_SH TEST_EXE

The peers of upload_peers.py start inside the namespace; Wine's sockets are made by wineserver,
so the test uses the namespace prefix ($WINEPREFIX-netns) whose wineserver starts inside it."""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from netns import NamespaceUnavailable, NetNamespace  # noqa: E402


SKIPPED = 77


def main():
    wine_test, exe = sys.argv[1], sys.argv[2]
    try:
        with NetNamespace("https", dict(os.environ, VIDUDO_HTTPS_443="1"), "-netns") as ns:
            return subprocess.call(ns.cmd(sys.executable, os.path.join(HERE, "upload_peers.py"), wine_test, "--timeout",
                                          "100", exe, "--gtest_filter=HttpsDefaultPort.*"), env=ns.env)
    except NamespaceUnavailable:
        # Reported by ctest as skipped (SKIP_RETURN_CODE), never as passed.
        print("network namespaces are not permitted here: the upload to port 443 is not tested")
        return SKIPPED


if __name__ == "__main__":
    sys.exit(main())
