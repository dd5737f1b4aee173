"""What a crash-test check script shares: its command line (RUNNER... -- PROGRAMS...), the failed
checks and a run of the program through the runner, its output decoded from GBK."""
import subprocess
import sys


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

    def run(self, *args, timeout=150):
        out = subprocess.run(self.runner + list(args), capture_output=True, timeout=timeout).stdout
        text = out.replace(b"\r", b"").decode("gbk", "replace")
        print(text)
        return text

    def finish(self, name):
        print("%s: %d failures" % (name, len(self.failures)))
        return 1 if self.failures else 0
