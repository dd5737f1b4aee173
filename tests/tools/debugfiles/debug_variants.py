"""The copies of a program with each debug source the build can give it: a ".map", a ".tds" and a
".jdbg" file beside it, TD32 data in the image and a JCLDEBUG section."""
import os
import re
import shutil
import subprocess

PREFIX = "i686-w64-mingw32-"


def run(*args, **kw):
    return subprocess.run(args, check=True, capture_output=True, text=True, **kw).stdout


def image_base(image):
    return int(re.search(r"ImageBase\s+([0-9a-fA-F]+)", run(PREFIX + "objdump", "-p", image)).group(1), 16)


def build_variants(tool, image, work, stem="x"):
    """{variant: (program, the source kind the lookup names)}; the copies are STEM_VARIANT.exe."""
    base = image_base(image)
    model = os.path.join(work, stem + "_model")
    run(tool, "files", image, model)
    vma = int(run(tool, "next-vma", image), 16)
    variants = {}
    for name, ext, kind in (("map", ".map", "TELDebugInfoMap"), ("tds", ".tds", "TELDebugInfoTD32"),
                            ("jdbg", ".jdbg", "TELDebugInfoJedy")):
        exe = os.path.join(work, "%s_%s.exe" % (stem, name))
        shutil.copy(image, exe)
        shutil.copy(model + ext, os.path.join(work, "%s_%s%s" % (stem, name, ext)))
        variants[name] = (exe, kind)
    section = os.path.join(work, stem + "_section.exe")
    run(PREFIX + "objcopy", "--add-section", "JCLDEBUG=" + model + ".jdbg",
        "--set-section-flags", "JCLDEBUG=alloc,load,readonly,data", "--change-section-vma", "JCLDEBUG=0x%x" % vma,
        image, section)
    variants["section"] = (section, "TELDebugInfoJedy section")
    inimage = os.path.join(work, stem + "_inimage.exe")
    blob = os.path.join(work, stem + "_td32.bin")
    run(tool, "td32-section", image, "0x%x" % vma, blob)
    run(PREFIX + "objcopy", "--add-section", ".tdsdata=" + blob,
        "--set-section-flags", ".tdsdata=alloc,load,readonly,data", "--change-section-vma", ".tdsdata=0x%x" % vma,
        image, inimage)
    run(tool, "set-debug-directory", inimage, "0x%x" % (vma - base), "28")
    variants["in-image TD32"] = (inimage, "TELDebugInfoTD32 image")
    return variants


def addr2line(image, addresses):
    """Per address: [(function, file, line)], innermost first (more than one: inlined)."""
    out = run(PREFIX + "addr2line", "-f", "-C", "-i", "-a", "-e", image,
              input="\n".join("%x" % a for a in addresses) + "\n").splitlines()
    frames, current = {}, None
    for line in out:
        if line.startswith("0x"):
            current = int(line, 16)
            frames[current] = []
        elif current is not None:
            frames[current].append(line)
    return {a: [(lines[i], lines[i + 1].rsplit(":", 1)[0], lines[i + 1].rsplit(":", 1)[1].split()[0])
                for i in range(0, len(lines) - 1, 2)]
            for a, lines in frames.items()}


def own(frames, source_dir):
    """One frame (not inlined) of a named function in our sources, with a line."""
    if len(frames) != 1:
        return False
    name, path, line = frames[0]
    return (os.path.abspath(path).startswith(os.path.abspath(source_dir)) and line.isdigit() and line != "0"
            and "{" not in name and "operator" not in name and "<" not in name)


def bare_name(name):
    if re.match(r"_*Z", name):  # addr2line leaves i686 names with their extra "_" undemangled
        name = run("c++filt", "_" + name.lstrip("_")).strip()
    name = re.sub(r"\(.*\)( const)?$", "", name)
    return name.split("::")[-1]
