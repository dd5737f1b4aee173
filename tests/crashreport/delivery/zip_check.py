"""Zip archives written under Wine, checked with unzip, 7z and Python's zipfile."""
import os
import subprocess
import sys
import tempfile
import time
import zipfile

# Local time must differ from UTC for the entry-time check to mean anything: eight hours east,
# as a POSIX rule that needs no zone files. Wine inherits it.
os.environ["TZ"] = "CST-8"
time.tzset()

runner = sys.argv[1:-1]
tool = sys.argv[-1]
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what)
    if not condition:
        failures.append(what)


def wine_path(path):
    return "Z:" + path.replace("/", "\\")


def zip_with(archive, password, pairs):
    args = runner + [tool, "zip", wine_path(archive), password]
    for f, name in pairs:
        args += [wine_path(f), name]
    out = subprocess.run(args, capture_output=True, timeout=120)
    return out.returncode, out.stdout.decode("ascii", "replace")


work = tempfile.mkdtemp(prefix="vidudo-zip-")
files = {}
for name, data in (("log.elf", b"DuruvaDod 6.1.01 RC 1\r\n" * 400), ("shot.png", os.urandom(5000)),
                   ("empty.txt", b"")):
    path = os.path.join(work, name)
    with open(path, "wb") as f:
        f.write(data)
    os.utime(path, (time.time() - 3600, time.time() - 3600 + 0.5))
    files[name] = path

for password in ("secret", ""):
    archive = os.path.join(work, "BugReport%s.zip" % ("-p" if password else ""))
    with open(archive, "wb") as f:
        f.write(b"old archive that must be replaced")
    rc, out = zip_with(archive, password, [(files[n], n) for n in files] + [(files["log.elf"], "log.elf")])
    check(rc == 0 and out.count("added") == 4, "archive written (%s): %r" % (password or "plain", out))
    pw = ["-P", password] if password else []
    check(subprocess.run(["unzip"] + pw + ["-tq", archive], capture_output=True).returncode == 0,
          "unzip -t passes (%s)" % (password or "plain"))
    check(subprocess.run(["7z", "t", "-p" + password, archive], capture_output=True).returncode == 0,
          "7z t passes (%s)" % (password or "plain"))
    with zipfile.ZipFile(archive) as z:
        names = z.namelist()
        check(names == ["log.elf", "shot.png", "empty.txt", "log_2.elf"], "entry names %r" % names)
        for info in z.infolist():
            check(bool(info.flag_bits & 1) == bool(password), "%s encryption flag" % info.filename)
            check(info.compress_type == zipfile.ZIP_DEFLATED, "%s deflated" % info.filename)
            source = files[info.filename.replace("_2", "")]
            data = z.read(info, pwd=password.encode() if password else None)
            check(data == open(source, "rb").read(), "%s bytes identical" % info.filename)
            local = time.localtime(os.path.getmtime(source))
            stamp = time.mktime(local[:5] + (local[5] - local[5] % 2, 0, 0, -1))
            check(abs(time.mktime(info.date_time + (0, 0, -1)) - stamp) < 2.5, "%s entry time is local" % info.filename)

# A file another process holds open for writing is refused, and the next one still goes in.
held = os.path.join(work, "held.txt")
with open(held, "wb") as f:
    f.write(b"being written")
holder = subprocess.Popen(runner + [tool, "hold", wine_path(held), "8000"], stdout=subprocess.DEVNULL)
deadline = time.time() + 60
while not os.path.exists(held + ".holding") and time.time() < deadline:
    time.sleep(0.1)
archive = os.path.join(work, "held.zip")
rc, out = zip_with(archive, "", [(held, "held.txt"), (files["log.elf"], "log.elf")])
holder.wait(timeout=60)
check("failed held.txt" in out and "added log.elf" in out, "held file refused, next added: %r" % out)
with zipfile.ZipFile(archive) as z:
    check(z.namelist() == ["log.elf"] and z.testzip() is None, "archive with the next file is sound")

print("%d checks failed" % len(failures))
sys.exit(1 if failures else 0)
