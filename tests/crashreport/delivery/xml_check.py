"""Generated logs in XML form: well-formed for xml.etree and xmllint, in the expected shape, and
every general value as it was built."""
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

tool = sys.argv[1]
work = tempfile.mkdtemp(prefix="vidudo-xml-")
subprocess.run([tool, work, "20"], check=True, timeout=60)
failures = 0
for n in range(20):
    base = os.path.join(work, "log_%d" % n)
    lint = subprocess.run(["xmllint", "--noout", base + ".xml"], capture_output=True)
    if lint.returncode != 0:
        print("FAIL xmllint log_%d: %s" % (n, lint.stderr.decode(errors="replace")[:400]))
        failures += 1
    root = ET.parse(base + ".xml").getroot()
    if root.tag != "Doc":
        print("FAIL log_%d root %s" % (n, root.tag))
        failures += 1
    expected = {}
    lines = open(base + ".expect", encoding="ascii").read().splitlines()
    reports, password = int(lines[0].split("\t")[1]), lines[1].split("\t")[1] == "1"
    for line in lines[2:]:
        r, item, value = line.split("\t")
        expected[(int(r), item)] = bytes.fromhex(value)
    if len(root) != reports or any(log.tag != "Log" for log in root):
        print("FAIL log_%d: %d reports as %s" % (n, reports, [log.tag for log in root]))
        failures += 1
    for r, log in enumerate(root):
        sections = [c.tag for c in log]
        if log.tag != "Log" or log.get("Version") != "6.1.01 RC 1" or \
                sections != ["General", "CallStack", "Modules", "Processes", "Assembler", "CPU"]:
            print("FAIL log_%d report %d: %s %s %s" % (n, r, log.tag, log.get("Version"), sections))
            failures += 1
        got = {}
        for group in log.find("General"):
            for line in group:
                # Attribute values carry GBK bytes as character references of each byte.
                got[(r, line.get("ID"))] = line.get("Value", "").encode("latin-1")
        for key, value in expected.items():
            if key[0] == r and got.get(key) != value:
                print("FAIL log_%d item %s: %r != %r" % (n, key, got.get(key), value))
                failures += 1
        # The scrambled row decodes with the log's password and stays as stored without it.
        names = [(line.get("Unit"), line.get("Class"), line.get("Procedure"))
                 for line in log.find("CallStack").iter("Line") if line.get("Address") == "00401A40"]
        decoded = names == [("EHook.pas", "TFoo", "Bar")]
        if decoded != password or len(names) != 1 or (not password and not names[0][0].startswith("?p")):
            print("FAIL log_%d report %d scrambled names %s with password %s" % (n, r, names, password))
            failures += 1
        threads = log.find("CallStack")
        if [t.tag for t in threads][:2] != ["ExceptionThread", "RunningThread"] or \
                threads[0].get("MainThread") != "True" or threads[0].find("CallingThread") is None:
            print("FAIL log_%d report %d threads" % (n, r))
            failures += 1
print("%d failures in 20 logs" % failures)
sys.exit(1 if failures else 0)
