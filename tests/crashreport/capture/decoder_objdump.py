#!/usr/bin/env python3
"""Compares the instruction decoder's lengths with objdump's on generated instructions.

Each instruction sits at the start of a 32-byte slot padded with NOPs, so objdump always
resynchronises at the next slot. An instruction objdump rejects ("(bad)") agrees when the decoder
refuses it too; one the decoder measures must lie in a listed row and match its sibling's form. Usage: decoder_objdump.py [runner...] decoder_tool
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


def split(insn):
    i = 0
    while insn[i] in PREFIXES:
        i += 1
    return insn[:i], insn[i:]


def excluded(insn):
    """The listed forms where the rules of this decoder and objdump's tables part."""
    prefixes, op = split(insn)
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


# The rows objdump calls "(bad)" while the decoder measures them by their ModRM form and
# immediate, as the processor does before it refuses them: why objdump rejects each, and what
# follows the opcode. Each such instruction is measured against objdump's length of a sibling
# with the same prefixes and operand bytes: 8B (ModRM), 6B (ModRM, imm8), 69 (ModRM, imm16/32),
# or 90 (nothing). Any other "(bad)" the decoder measures is a mismatch.
REJECTED_ROWS = {
    b"\x8d": ("LEA with a register operand", "modrm"),
    b"\xc6": ("C6 /1-/7, rows of the MOV group left reserved", "imm8"),
    b"\xc7": ("C7 /1-/7, rows of the MOV group left reserved", "imm"),
    b"\xd6": ("SALC, undocumented", "none"),
    b"\xd9": ("x87 rows left reserved", "modrm"),
    b"\xda": ("x87 rows left reserved", "modrm"),
    b"\xdb": ("x87 rows left reserved", "modrm"),
    b"\xdc": ("x87 rows left reserved", "modrm"),
    b"\xdd": ("x87 rows left reserved", "modrm"),
    b"\xde": ("x87 rows left reserved", "modrm"),
    b"\xdf": ("x87 rows left reserved", "modrm"),
    b"\xfe": ("FE /2-/7 left reserved", "modrm"),
    b"\xff": ("FF /7 reserved; far CALL and JMP with a register", "modrm"),
    b"\x0f\x00": ("0F 00 /6-/7 left reserved", "modrm"),
    b"\x0f\x01": ("0F 01 rows left reserved", "modrm"),
    b"\x0f\x0d": ("PREFETCH with a register", "modrm"),
    b"\x0f\x13": ("MOVLPS store with a register", "modrm"),
    b"\x0f\x17": ("MOVHPS store with a register", "modrm"),
    b"\x0f\x1a": ("BNDLDX naming a bound register above bnd3", "modrm"),
    b"\x0f\x1b": ("BNDSTX naming a bound register above bnd3", "modrm"),
    b"\x0f\x28": ("MOVAPS under F2/F3, a prefix that selects no form", "modrm"),
    b"\x0f\x2b": ("MOVNTPS with a register", "modrm"),
    b"\x0f\x50": ("MOVMSKPS with memory", "modrm"),
    b"\x0f\x6c": ("PUNPCKLQDQ without its 66 prefix", "modrm"),
    b"\x0f\x6d": ("PUNPCKHQDQ without its 66 prefix", "modrm"),
    b"\x0f\x6f": ("MOVQ under F2, a prefix that selects no form", "modrm"),
    b"\x0f\x71": ("MMX shift group: memory forms and rows left reserved", "imm8"),
    b"\x0f\x72": ("MMX shift group: memory forms and rows left reserved", "imm8"),
    b"\x0f\x73": ("MMX shift group: memory forms and rows left reserved", "imm8"),
    b"\x0f\x7c": ("HADDPD/HADDPS without their 66/F2 prefix", "modrm"),
    b"\x0f\x7d": ("HSUBPD/HSUBPS without their 66/F2 prefix", "modrm"),
    b"\x0f\x7f": ("MOVQ store under F2, a prefix that selects no form", "modrm"),
    b"\x0f\xae": ("0F AE register rows of the 64-bit mode", "modrm"),
    b"\x0f\xb2": ("LSS with a register", "modrm"),
    b"\x0f\xb4": ("LFS with a register", "modrm"),
    b"\x0f\xb5": ("LGS with a register", "modrm"),
    b"\x0f\xb8": ("POPCNT without its F3 prefix", "modrm"),
    b"\x0f\xba": ("BT group /0-/3 left reserved", "imm8"),
    b"\x0f\xc3": ("MOVNTI with a register", "modrm"),
    b"\x0f\xc5": ("PEXTRW with memory", "imm8"),
    b"\x0f\xc7": ("CMPXCHG8B group rows left reserved", "modrm"),
    b"\x0f\xd0": ("ADDSUBPD/ADDSUBPS without their 66/F2 prefix", "modrm"),
    b"\x0f\xd6": ("MOVQ/MOVDQ2Q/MOVQ2DQ without their prefix or form", "modrm"),
    b"\x0f\xd7": ("PMOVMSKB with memory", "modrm"),
    b"\x0f\xe6": ("CVTDQ2PD/CVTPD2DQ/CVTTPD2DQ without their prefix", "modrm"),
    b"\x0f\xe7": ("MOVNTQ with a register", "modrm"),
    b"\x0f\xf0": ("LDDQU without its F2 prefix", "modrm"),
    b"\x0f\xf7": ("MASKMOVQ with memory", "modrm"),
}
SIBLINGS = {"modrm": b"\x8b", "imm8": b"\x6b", "imm": b"\x69", "none": b"\x90"}


def rejected_row(insn):
    """(reason, sibling instruction, opcode length) of a listed row objdump rejects, or None."""
    prefixes, op = split(insn)
    n = 2 if op[0] == 0x0F else 1
    row = REJECTED_ROWS.get(op[:n])
    if not row:
        return None
    reason, follows = row
    rest = op[n:] if follows != "none" else b""
    return reason, (prefixes + SIBLINGS[follows] + rest)[:32], n


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
        # The rows objdump rejects and the decoder measures, each beside its sibling.
        rejected = {}
        for k, (insn, mine, (length, text)) in enumerate(zip(insns, ours, theirs)):
            if "(bad)" in text and not mine.startswith("-") and not excluded(insn):
                rejected[k] = rejected_row(insn)
        siblings = [row for row in rejected.values() if row]
        sibling_path = os.path.join(folder, "siblings.bin")
        with open(sibling_path, "wb") as f:
            for _, sibling, _ in siblings:
                f.write(sibling.ljust(32, b"\x90"))
        sibling_lengths = iter(objdump_lengths(sibling_path, len(siblings)))
    compared = skipped = rows = 0
    failures = []
    for k, (insn, mine, (length, text)) in enumerate(zip(insns, ours, theirs)):
        decodable = not mine.startswith("-")
        measured = int(mine.split()[-1])
        if decodable and measured > 15:
            failures.append(f"{insn[:16].hex(' ')}: {measured} bytes, over 15")
            continue
        if excluded(insn):
            skipped += 1
            continue
        compared += 1
        if k in rejected:
            row = rejected[k]
            if not row:
                failures.append(f"{insn[:16].hex(' ')}: ours {mine}, objdump rejects it ({text.strip()}), no listed row")
                continue
            reason, sibling, n = row
            rows += 1
            length, text = next(sibling_lengths)
            if "(bad)" in text:
                failures.append(f"{insn[:16].hex(' ')}: its sibling {sibling[:16].hex(' ')} is rejected too")
                continue
            length = length + n - 1 if length else length
            if measured != length:
                failures.append(f"{insn[:16].hex(' ')} ({reason}): ours {mine}, its sibling's form {length} ({text.strip()})")
            continue
        if not decodable and "(bad)" in text:
            continue  # both refuse it
        if not decodable or measured != length:
            failures.append(f"{insn[:16].hex(' ')}: ours {mine}, objdump {length} ({text.strip()})")
    print(f"{compared} instructions compared, {rows} of them in rows objdump rejects, {skipped} in the listed forms")
    for f in failures[:60]:
        print("MISMATCH", f)
    if failures:
        print(f"{len(failures)} mismatches")
        return 1
    return 0 if compared >= 2000 else 1


if __name__ == "__main__":
    sys.exit(main())
