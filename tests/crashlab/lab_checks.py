"""What a crash-test check script shares: its command line (RUNNER... -- PROGRAMS...), the failed
checks and a run of the program through the runner, its output decoded from GBK."""
import os
import re
import subprocess
import sys
import time


def time_scale():
    """The factor every time bound grows by where Wine's programs run emulated (1 elsewhere)."""
    try:
        return max(1, int(os.environ.get("VIDUDO_TIME_SCALE") or 1))
    except ValueError:
        return 1


class LabChecks:
    def __init__(self, argv=None):
        argv = sys.argv if argv is None else argv
        sep = argv.index("--")
        self.runner = argv[1:sep]
        self.programs = argv[sep + 1:]
        self.failures = []

    def check(self, ok, what):
        if not ok:
            self.failures.append(what)
            print("FAIL:", what)

    def execute(self, *args, timeout=150, env=None, encoding="gbk", runner=None):
        """(output with CR dropped, exit code) of args under the runner. The programs print in
        GBK; encoding None keeps the bytes."""
        done = subprocess.run((runner or self.runner) + list(args), capture_output=True,
                              timeout=timeout * time_scale(), env=env)
        out = done.stdout.replace(b"\r", b"")
        return (out if encoding is None else out.decode(encoding, "replace")), done.returncode

    def output(self, *args, **kw):
        return self.execute(*args, **kw)[0]

    def timed(self, *args, **kw):
        """(output, seconds) of args under the runner."""
        start = time.monotonic()
        out = self.output(*args, **kw)
        return out, time.monotonic() - start

    def run(self, *args, timeout=150):
        text = self.output(*args, timeout=timeout)
        print(text)
        return text

    def finish(self, name):
        print("%s: %d failures" % (name, len(self.failures)))
        return 1 if self.failures else 0


def exit_code(out):
    """The child's exit code as the launcher prints it, from output bytes; None when missing."""
    m = re.search(rb"exit code (0x[0-9A-F]{8})", out)
    return m.group(1).decode() if m else None


def crc16_xmodem(data):
    crc = 0
    for byte in data:
        crc ^= byte << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) if crc & 0x8000 else crc << 1
            crc &= 0xFFFF
    return crc
