#!/usr/bin/env python3
"""Every debug source the build can give a program -- map, .tds, TD32 in the image, .jdbg and a
JCLDEBUG section -- against addr2line, on the call sites of the program's own code.

debug_sources_check.py TOOL IMAGE WORKDIR SOURCE_DIR
TOOL is vidudo_debug_files; IMAGE an unstripped program without stored data."""
import os
import re
import shutil
import subprocess
import sys

tool, image, work, source_dir = sys.argv[1:5]
prefix = "i686-w64-mingw32-"
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)


def run(*args, **kw):
    return subprocess.run(args, check=True, capture_output=True, text=True, **kw).stdout


base = int(re.search(r"ImageBase\s+([0-9a-fA-F]+)", run(prefix + "objdump", "-p", image)).group(1), 16)

# Call sites and function starts in the program's own code (not the runtime's), outside inlined code.
calls, starts = [], {}
function = None
for line in run(prefix + "objdump", "-d", "--no-show-raw-insn", image).splitlines():
    m = re.match(r"^([0-9a-f]+) <(.+)>:$", line)
    if m:
        function = m.group(2)
        starts[int(m.group(1), 16)] = function
        continue
    m = re.match(r"^\s+([0-9a-f]+):\s+call\s", line)
    if m:
        calls.append(int(m.group(1), 16))


def addr2line(addresses):
    out = run(prefix + "addr2line", "-f", "-C", "-i", "-a", "-e", image,
              input="\n".join("%x" % a for a in addresses) + "\n").splitlines()
    frames, current = {}, None
    for line in out:
        if line.startswith("0x"):
            current = int(line, 16)
            frames[current] = []
        elif current is not None:
            frames[current].append(line)
    # Per address: [(function, file, line)] innermost first
    result = {}
    for a, lines in frames.items():
        result[a] = [(lines[i], lines[i + 1].rsplit(":", 1)[0], lines[i + 1].rsplit(":", 1)[1].split()[0])
                     for i in range(0, len(lines) - 1, 2)]
    return result


def own(frames):
    if len(frames) != 1:
        return False  # inlined
    name, path, line = frames[0]
    return (os.path.abspath(path).startswith(os.path.abspath(source_dir)) and line.isdigit() and line != "0"
            and "{" not in name and "operator" not in name and "<" not in name)


def bare_name(name):
    if re.match(r"_*Z", name):  # addr2line leaves i686 names with their extra "_" undemangled
        name = run("c++filt", "_" + name.lstrip("_")).strip()
    name = re.sub(r"\(.*\)( const)?$", "", name)
    return name.split("::")[-1]


sites = addr2line(calls)
chosen = [a for a in calls if own(sites[a])][:200]
start_frames = addr2line(list(starts))
starts_chosen = [a for a in starts if a in start_frames and own(start_frames[a])][:50]
if len(chosen) < 20:
    sys.exit("only %d call sites of the program's own code" % len(chosen))

run(tool, "files", image, os.path.join(work, "x"))
vma = int(run(tool, "next-vma", image), 16)
variants = {}
for name, ext in (("map", ".map"), ("tds", ".tds"), ("jdbg", ".jdbg")):
    exe = os.path.join(work, name + ".exe")
    shutil.copy(image, exe)
    shutil.copy(os.path.join(work, "x" + ext), os.path.join(work, name + ext))
    variants[name] = (exe, {"map": "TELDebugInfoMap", "tds": "TELDebugInfoTD32", "jdbg": "TELDebugInfoJedy"}[name])
section = os.path.join(work, "section.exe")
run(prefix + "objcopy", "--add-section", "JCLDEBUG=" + os.path.join(work, "x.jdbg"),
    "--set-section-flags", "JCLDEBUG=alloc,load,readonly,data", "--change-section-vma", "JCLDEBUG=0x%x" % vma,
    image, section)
variants["section"] = (section, "TELDebugInfoJedy section")
inimage = os.path.join(work, "inimage.exe")
blob = os.path.join(work, "td32.bin")
run(tool, "td32-section", image, "0x%x" % vma, blob)
run(prefix + "objcopy", "--add-section", ".tdsdata=" + blob,
    "--set-section-flags", ".tdsdata=alloc,load,readonly,data", "--change-section-vma", ".tdsdata=0x%x" % vma,
    image, inimage)
run(tool, "set-debug-directory", inimage, "0x%x" % (vma - base), "28")
variants["in-image TD32"] = (inimage, "TELDebugInfoTD32 image")

failures = []
for name, (exe, kind) in variants.items():
    rvas = chosen + starts_chosen
    out = subprocess.run([tool, "lookup", exe], input="".join("%X\n" % (a - base - 0) for a in rvas),
                         capture_output=True, text=True).stdout.splitlines()
    if not out or out[0] != kind:
        failures.append("%s: source %r, wanted %r" % (name, out[:1], kind))
        continue
    answers = {int(l.split("\t")[0], 16): l.split("\t")[1:] for l in out[1:]}
    for a in chosen:
        fn, path, line = sites[a][0]
        got = answers.get(a - base)
        if not got or got == ["-"] or got[3] != line or got[2] != bare_name(fn):
            failures.append("%s: %x wanted %s:%s %s, got %s" % (name, a, os.path.basename(path), line, fn, got))
    for a in starts_chosen:
        got = answers.get(a - base)
        if got and got != ["-"] and got[4] != "0":
            failures.append("%s: line in procedure %s at the start of %s" % (name, got[4], starts[a]))
    print("%s: %d call sites, %d starts" % (name, len(chosen), len(starts_chosen)))

for f in failures[:40]:
    print(f)
sys.exit(1 if failures else 0)
