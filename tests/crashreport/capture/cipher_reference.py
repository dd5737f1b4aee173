#!/usr/bin/env python3
"""Checks the reporter's block cipher against an independent implementation of its variant:
the TEA rounds with the three terms added, the key taken from MD5 as big-endian words, and
DecryptBuffer's chaining. Usage: cipher_reference.py [RUNNER...] TOOL"""
import hashlib
import subprocess
import sys

M = 0xFFFFFFFF
DELTA = 0x9E3779B9


def key_of(text):
    d = hashlib.md5(text.encode("ascii")).digest()
    return [int.from_bytes(d[i:i + 4], "big") for i in range(0, 16, 4)]


def encrypt_block(block, k, added=True):
    y, z = int.from_bytes(block[:4], "big"), int.from_bytes(block[4:], "big")
    s = 0
    for _ in range(32):
        s = (s + DELTA) & M
        if added:
            y = (y + (((z << 4) & M) + (z ^ k[0]) + ((z >> 5) ^ s) + k[1])) & M
            z = (z + (((y << 4) & M) + (y ^ k[2]) + ((y >> 5) ^ s) + k[3])) & M
        else:  # the published TEA
            y = (y + ((((z << 4) & M) + k[0]) ^ (z + s) ^ ((z >> 5) + k[1]))) & M
            z = (z + ((((y << 4) & M) + k[2]) ^ (y + s) ^ ((y >> 5) + k[3]))) & M
    return y.to_bytes(4, "big") + z.to_bytes(4, "big")


def decrypt_block(block, k):
    y, z = int.from_bytes(block[:4], "big"), int.from_bytes(block[4:], "big")
    s = (DELTA * 32) & M
    for _ in range(32):
        z = (z - (((y << 4) & M) + (y ^ k[2]) + ((y >> 5) ^ s) + k[3])) & M
        y = (y - (((z << 4) & M) + (z ^ k[0]) + ((z >> 5) ^ s) + k[1])) & M
        s = (s - DELTA) & M
    return y.to_bytes(4, "big") + z.to_bytes(4, "big")


def xor(a, b):
    return bytes(x ^ y for x, y in zip(a, b))


def decrypt_buffer(data, k):
    chain, out = b"\xff" * 8, b""
    whole = len(data) // 8 * 8
    for i in range(0, whole, 8):
        out += xor(decrypt_block(data[i:i + 8], k), chain)
        chain = data[i:i + 8]
    if whole < len(data):
        out += xor(data[whole:], encrypt_block(chain, k))
    return out


def encrypt_buffer(plain, k):
    chain, out = b"\xff" * 8, b""
    whole = len(plain) // 8 * 8
    for i in range(0, whole, 8):
        chain = encrypt_block(xor(plain[i:i + 8], chain), k)
        out += chain
    if whole < len(plain):
        out += xor(plain[whole:], encrypt_block(chain, k))
    return out


def tool(cmd, *args, data):
    done = subprocess.run(cmd + list(args), input=data.hex().encode(), capture_output=True)
    if done.returncode != 0:
        sys.exit(f"tool {args} failed: {done.returncode} {done.stderr!r}")
    return bytes.fromhex(done.stdout.decode().split()[-1] if done.stdout.strip() else "")


cmd = sys.argv[1:]
failures = []
for keytext in ["DuruvaDod", "another secret"]:
    k = key_of(keytext)
    blocks = bytes(range(8)) + b"\xff" * 8 + b"\x00" * 8 + bytes.fromhex("0123456789abcdef")
    want = b"".join(encrypt_block(blocks[i:i + 8], k) for i in range(0, len(blocks), 8))
    got = tool(cmd, "encrypt", keytext, data=blocks)
    if got != want:
        failures.append(f"EncryptBlock with key {keytext!r}: {got.hex()} != {want.hex()}")
    standard = b"".join(encrypt_block(blocks[i:i + 8], k, added=False) for i in range(0, len(blocks), 8))
    if got == standard:
        failures.append("EncryptBlock equals the published TEA")
    for n in (5, 8, 11, 16):
        plain = bytes((i * 37 + 11) & 0xFF for i in range(n))
        cipher = encrypt_buffer(plain, k)
        assert decrypt_buffer(cipher, k) == plain
        got = tool(cmd, "decrypt", keytext, data=cipher)
        if got != plain:
            failures.append(f"DecryptBuffer of {n} bytes with key {keytext!r}: {got.hex()} != {plain.hex()}")
if failures:
    sys.exit("\n".join(failures))
print("cipher against the reference: ok")
