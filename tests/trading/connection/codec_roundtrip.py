#!/usr/bin/env python3
"""Checks the codec against Python's own zlib and base64: the tool packs a record with GBK
fields, Python decodes it, checks the joined form, compresses it again its own way and hands
it back for the tool to unpack. Usage: codec_roundtrip.py [RUNNER...] CODEC_TOOL"""
import base64
import subprocess
import sys
import zlib

cmd = sys.argv[1:]
packed = subprocess.run(cmd + ["pack"], capture_output=True, check=True).stdout.decode("ascii").strip()
raw = zlib.decompress(base64.b64decode(packed, validate=True))
text = raw.decode("utf-8")
fields = text.split("|")
assert text.count("|") == 30 and text.endswith("|"), f"joined form: {text!r}"
assert fields[3] == "東方基金", f"field 3: {fields[3]!r}"
assert fields[7] == "表" and fields[29] == "FIRST" and fields[9] == "#", fields
# Re-encode independently (another level, so the deflate bytes differ).
reply = base64.b64encode(zlib.compress(raw, 9)).decode("ascii")
done = subprocess.run(cmd + ["unpack"], input=reply.encode("ascii"), capture_output=True)
sys.stderr.write(done.stdout.decode("utf-8", "replace") + done.stderr.decode("utf-8", "replace"))
if done.returncode != 0:
    sys.exit(f"unpack failed with {done.returncode}")
print("codec round trip through Python: ok")
