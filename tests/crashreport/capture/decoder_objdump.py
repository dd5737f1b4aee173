#!/usr/bin/env python3
"""Compares the instruction decoder's lengths with objdump's on generated instructions.

Each instruction sits at the start of a 32-byte slot padded with NOPs, so objdump always
resynchronises at the next slot. Usage: decoder_objdump.py [runner...] decoder_tool
"""
import os
import subprocess
import sys
import tempfile

PREFIXES = [0x26, 0x2E, 0x36, 0x3E, 0x64, 0x65, 0x66, 0x67, 0xF0, 0xF2, 0xF3]
TAIL = bytes([0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA])


def forms(opcode):
    """The opcode bytes followed by every ModRM byte, with SIB bases 5 and not 5."""
    for modrm in range(256):
        yield opcode + bytes([modrm]) + TAIL
        if (modrm & 7) == 4 and modrm < 0xC0:
            yield opcode + bytes([modrm, 0x25]) + TAIL
            yield opcode + bytes([modrm, 0x8D]) + TAIL


def generate():
    out = []
    one = [b for b in range(256) if b not in PREFIXES and b != 0x0F]
    for b in one:
        out.extend(forms(bytes([b])))
    for b in range(256):
        out.extend(forms(bytes([0x0F, b])))
    # Prefixes on every one-byte opcode with a few addressing forms, and on common 0F ones.
    sample = [bytes([0x05]) + TAIL, bytes([0x44, 0x24]) + TAIL, bytes([0x86]) + TAIL, bytes([0xC1]) + TAIL,
              bytes([0x06]) + TAIL, bytes([0x46]) + TAIL]
    for p in PREFIXES:
        for b in one:
            for s in sample:
                out.append(bytes([p, b]) + s)
        for b in [0x10, 0x11, 0x28, 0x6F, 0x7F, 0x84, 0x8F, 0xAF, 0xB6, 0xB7, 0xBE, 0xBF, 0xC2, 0xD6, 0xE6, 0x1F]:
            for s in sample:
                out.append(bytes([p, 0x0F, b]) + s)
    for combo in ([0x66, 0x67], [0x67, 0x66], [0xF0, 0x66], [0x2E, 0x66, 0x67], [0x3E, 0xF3, 0x66]):
        for b in one:
            out.append(bytes(combo + [b]) + sample[0])
    return out


def excluded(insn, text):
    """The listed forms where the rules of this decoder and objdump's tables part."""
    i = 0
    while insn[i] in PREFIXES:
        i += 1
    prefixes, op = insn[:i], insn[i:]
    if "(bad)" in text:
        return "objdump rejects it"
    if op[0] in (0xC4, 0xC5, 0x62) and op[1] >= 0xC0:
        return "VEX/EVEX"
    if op[0] == 0x8F and (op[1] & 0x38) != 0:
        return "XOP"
    if op[0] in (0xF6, 0xF7) and (op[1] & 0x38) == 0x08:
        return "F6/F7 /1"
    if op[0] == 0x0F and op[1] in (0x04, 0x0A, 0x0C, 0x0F, 0x25, 0x27, 0x36, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D,
                                   0x3E, 0x3F, 0x7A, 0x7B, 0xA6, 0xA7):
        return "two-byte opcode left undecodable"
    if op[0] == 0x9B and 0xD8 <= op[1] <= 0xDF:
        return "objdump folds FWAIT into the x87 instruction"
    if op[0] == 0x0F and op[1] in (0x78, 0x79) and (0x66 in prefixes or 0xF2 in prefixes):
        return "SSE4a EXTRQ/INSERTQ immediates"
    return None


def objdump_lengths(path, count):
    out = subprocess.run(["objdump", "-D", "-b", "binary", "-m", "i386", "--insn-width=16", path],
                         check=True, capture_output=True, text=True).stdout
    lines = {}
    order = []
    for line in out.splitlines():
        head, sep, rest = line.partition(":\t")
        if not sep:
            continue
        try:
            addr = int(head.strip(), 16)
        except ValueError:
            continue
        parts = rest.split("\t", 1)
        lines[addr] = parts[1] if len(parts) > 1 else ""
        order.append(addr)
    result = []
    starts = sorted(lines)
    index = {a: k for k, a in enumerate(starts)}
    for slot in range(count):
        at = slot * 32
        if at not in index:
            result.append((None, "no line at the slot"))
            continue
        k = index[at]
        nxt = starts[k + 1] if k + 1 < len(starts) else at + 32
        result.append((nxt - at, lines[at]))
    return result


def main():
    command = sys.argv[1:]
    insns = generate()
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "insns.bin")
        with open(path, "wb") as f:
            for insn in insns:
                f.write(insn[:32].ljust(32, b"\x90"))
        ours = subprocess.run(command + [path], check=True, capture_output=True, text=True, timeout=600).stdout
        theirs = objdump_lengths(path, len(insns))
    ours = [l.strip() for l in ours.splitlines() if l.strip()]
    assert len(ours) == len(insns), f"{len(ours)} lines for {len(insns)} instructions"
    compared = skipped = 0
    failures = []
    for insn, mine, (length, text) in zip(insns, ours, theirs):
        decodable = not mine.startswith("-")
        measured = int(mine.split()[-1])
        if decodable and measured > 15:
            failures.append(f"{insn[:16].hex(' ')}: {measured} bytes, over 15")
            continue
        reason = excluded(insn, text)
        if reason:
            skipped += 1
            continue
        compared += 1
        if not decodable or measured != length:
            failures.append(f"{insn[:16].hex(' ')}: ours {mine}, objdump {length} ({text.strip()})")
    print(f"{compared} instructions compared, {skipped} in the listed forms")
    for f in failures[:60]:
        print("MISMATCH", f)
    if failures:
        print(f"{len(failures)} mismatches")
        return 1
    return 0 if compared >= 2000 else 1


if __name__ == "__main__":
    sys.exit(main())
