#!/usr/bin/env python3
"""Writes options streams independently of the C++ code (the current version 6000 and the
older 500, 460, 440 and 421 forms) with a distinct non-default value in every field, has the
tool read them, checks every field, checks that version 6000 is written back byte for byte,
and has the tool load the stream cut at every length. Usage: options_golden.py [RUNNER...] TOOL"""
import struct
import subprocess
import sys

SCRAMBLE = 0xA7


def text(s):
    b = s.encode("gbk") if isinstance(s, str) else s
    return struct.pack("<I", len(b)) + bytes(c ^ SCRAMBLE for c in b)


def u8(v):
    return struct.pack("<B", v)


def u16(v):
    return struct.pack("<H", v)


def i16(v):
    return struct.pack("<h", v)


def u32(v):
    return struct.pack("<I", v)


def i32(v):
    return struct.pack("<i", v)


# Non-default values, by field.
V = dict(
    LogEnabled=1, HandlingEnabled=0, LogFlags=0x2D, AppendReportToMessage=1, KeepLogFile=0,
    FirstDialogTab=4, FreezeWatchEnabled=1, FreezeTimeoutSeconds=45, SmtpSender="报告@example.cn",
    SmtpServer="smtp.example.cn", SmtpServerPort=587, SmtpLogin="登录", SmtpLoginPassword="pw1",
    TerminateButtonAction=1, LogReportLimit=7, TerminateButtonAfter=9, MailRecipients="a@b.cn;c@d.cn",
    MailSubject="崩溃报告", MailMethod=3, ReportFieldVisibility=0x123456789ABC, LogFilePath="D:\\日志\\x.elf",
    UploadMethod=6, UploadAddress="http://127.0.0.1/up", UploadLogin="up", UploadPassword="uppw", UploadPort=8021,
    ExtraAttachments="a.txt;b.txt", SendFlags=0x1234, DialogFlags=0x0ABC, DialogAutoCloseSeconds=30,
    SupportPageAddress="http://support.example.cn", WebPageTemplate="<html>%HTML_TAG%</html>",
    StackFlags=0x35, BehaviourFlags=0x1F07, LeakFlags=0x0B, CrashRateAction=1, CrashRateCount=4,
    CrashRateMinutes=15, CompiledFileFlags=0x06, DialogKind=3, ProxyServer="proxy.example.cn",
    ProxyLogin="plogin", ProxyLoginPassword="ppw", ProxyServerPort=3128, TrackerLogin="tl",
    TrackerLoginPassword="tpw", TrackerAssignee="张三", TrackerProject="交易", TrackerCategory="崩溃",
    TrackerTrialId="T-1", AttachmentZipPassword="zip密码", MailBody="正文\r\n第二行",
    TextCollectionName="中文",
)
FILTERS = [(0, "EConvertError", "转换 %_ExceptMsg%", 1, 3, 1, 4), (1, "EFrozenApplication", "", 2, 4, 2, 8)]


def slot_text(slot):
    return f"T{slot} 文本"


def absent(slot, v):
    if v < 420 and slot == 20 or v < 421 and slot == 19:
        return True
    if v < 450 and (slot in (9, 10, 15, 16, 22, 23, 24, 41, 47, 48, 68, 81) or 110 <= slot <= 157):
        return True
    if v < 500 and (slot in (25, 42, 131, 144, 145) or 72 <= slot <= 77 or 84 <= slot <= 91 or 98 <= slot <= 104):
        return True
    if v < 6000 and (slot in (2, 21, 41, 43, 83, 113) or any(a <= slot <= b for a, b in (
            (11, 14), (26, 36), (51, 60), (105, 109), (117, 122), (133, 140), (146, 157)))):
        return True
    return 500 <= v < 6000 and slot in (17, 18)


def stream(v, shown=1, send_bits=(1, 0, 1), dialog_40=0, field_bytes=None):
    b = u8(V["LogEnabled"]) + u8(V["HandlingEnabled"]) + u8(V["LogFlags"])
    if v < 500:
        b += u8(shown)
    b += u8(V["AppendReportToMessage"])
    if 450 <= v < 500:
        b += b"".join(u8(x) for x in send_bits)
    if v > 400:
        b += u8(V["KeepLogFile"]) + u8(3 if v < 6000 else V["FirstDialogTab"])
    if 402 < v < 500:
        b += u8(dialog_40)
    if v >= 420:
        b += u8(V["FreezeWatchEnabled"]) + i32(V["FreezeTimeoutSeconds"] * (1000 if v < 422 else 1))
        if v < 6000:
            b += text("冻结了")
        if v >= 450:
            b += text(V["SmtpSender"])
    b += text(V["SmtpServer"])
    if v >= 450:
        b += i16(V["SmtpServerPort"])
    if v > 420:
        b += text(V["SmtpLogin"]) + text(V["SmtpLoginPassword"]) + u8(V["TerminateButtonAction"])
    if v < 6000:
        b += u8(1)
    b += i32(V["LogReportLimit"]) + i32(V["TerminateButtonAfter"]) + text(V["MailRecipients"])
    b += text(V["MailSubject"]) + u8(V["MailMethod"])
    n = 6 if v >= 6000 else 4 if v < 500 else 5
    fields = V["ReportFieldVisibility"] if field_bytes is None else field_bytes
    b += fields.to_bytes(8, "little")[:n]
    if v < 450:
        b += u8(0xEE)
    b += text(V["LogFilePath"])
    if v >= 500:
        b += u8(V["UploadMethod"]) + text(V["UploadAddress"]) + text(V["UploadLogin"]) + text(V["UploadPassword"])
        b += u32(V["UploadPort"]) + text(V["ExtraAttachments"])
        b += u16(V["SendFlags"] | (0x200 if v < 6000 else 0))
        b += u8(V["DialogFlags"] & 0xFF) if v < 6000 else u16(V["DialogFlags"])
        b += i32(V["DialogAutoCloseSeconds"]) + text(V["SupportPageAddress"]) + text(V["WebPageTemplate"])
        b += u8(V["StackFlags"])
        b += u8(V["BehaviourFlags"] & 0xFF) if v < 6000 else u16(V["BehaviourFlags"]) + u8(V["LeakFlags"])
        b += u8(V["CrashRateAction"]) + i32(V["CrashRateCount"]) + i32(V["CrashRateMinutes"])
        if v >= 6000:
            b += u8(V["CompiledFileFlags"]) + u8(V["DialogKind"])
            b += text(V["ProxyServer"]) + text(V["ProxyLogin"]) + text(V["ProxyLoginPassword"])
            b += u16(V["ProxyServerPort"])
            for name in ("TrackerLogin", "TrackerLoginPassword", "TrackerAssignee", "TrackerProject",
                         "TrackerCategory", "TrackerTrialId", "AttachmentZipPassword"):
                b += text(V[name])
    b += u32(len(FILTERS))
    for f in FILTERS:
        if v >= 6000:
            b += u8(f[0]) + text(f[1]) + text(f[2]) + u8(f[3]) + u8(f[4]) + u8(f[5]) + u8(f[6])
        else:
            b += text(f[1]) + text(f[2])
    b += text(V["MailBody"])
    for slot in range(158):
        if v < 6000 and slot == 68:
            b += text("dropped")
        if not absent(slot, v):
            b += text(slot_text(slot))
    if v >= 6000:
        b += text(V["TextCollectionName"])
    return b


def hexgbk(s):
    return s.encode("gbk").hex()


def run(cmd, args, data):
    done = subprocess.run(cmd + args, input=data.hex().encode(), capture_output=True)
    if done.returncode != 0:
        sys.exit(f"tool {args} failed with {done.returncode}: {done.stderr!r}")
    return dict(line.split("=", 1) for line in done.stdout.decode().splitlines() if "=" in line)


class Raw(str):
    """A value the dump shows as it is, not as hex."""


def expect(failures, label, dump, name, want):
    got = dump.get(name)
    if isinstance(want, str) and not isinstance(want, Raw):
        want = hexgbk(want)
    if got != str(want):
        failures.append(f"{label}: {name} = {got!r}, expected {want!r}")


cmd = sys.argv[1:]
failures = []

# Version 6000: every field, then byte-identical writing.
golden = stream(6000)
dump = run(cmd, ["options", "6000"], golden)
for name, value in V.items():
    expect(failures, "6000", dump, name, value)
expect(failures, "6000", dump, "FilterCount", len(FILTERS))
for i, f in enumerate(FILTERS):
    want = Raw(f"{f[0]},{hexgbk(f[1])},{hexgbk(f[2])},{f[3]},{f[4]},{f[5]},{f[6]}")
    expect(failures, "6000", dump, f"Filter{i}", want)
for slot in range(158):
    expect(failures, "6000", dump, f"Text{slot}", slot_text(slot))
expect(failures, "6000", dump, "Warning", "")
if dump.get("SAVED") != golden.hex():
    failures.append("6000: the stream written back differs from the golden stream")

defaults = run(cmd, ["options", "6000"], b"")  # nothing read: the defaults, and a warning
if not defaults.get("Warning"):
    failures.append("an empty stream gave no internal warning")

# Older versions: the converted fields and the text slots they hold.
old = {
    421: dict(FreezeTimeoutSeconds=45, DialogKind=2, FirstDialogTab=5, TerminateButtonAction=1,
              MailMethod=2, SmtpSender=None, StackFlags=0x0F),
    440: dict(DialogKind=0, MailMethod=2),
    460: dict(DialogKind=2, SendFlags=0x51 & ~0x4 & ~0x10 | 0x4 | 0x1, SmtpServerPort=587),
    500: dict(StackFlags=V["StackFlags"] | 0x10, SendFlags=V["SendFlags"] & ~0x200, DialogFlags=V["DialogFlags"] & 0xFF,
              BehaviourFlags=V["BehaviourFlags"] & 0xFF, LeakFlags=0x1E, DialogKind=2, ProxyServer="",
              FreezeTimeoutSeconds=45, UploadPort=V["UploadPort"]),
}
# Below 450 the "dialog shown" byte is inverted: 0 keeps the dialog.
cases = {421: stream(421, shown=0), 440: stream(440, shown=1), 460: stream(460, shown=1, send_bits=(1, 0, 1)),
         500: stream(500)}
for v, data in cases.items():
    dump = run(cmd, ["options", str(v)], data)
    label = str(v)
    for name, want in old[v].items():
        if want is None:
            want = "duruvadod@localhost"
        expect(failures, label, dump, name, want)
    expect(failures, label, dump, "Warning", "")
    expect(failures, label, dump, "FilterCount", len(FILTERS))
    expect(failures, label, dump, "Filter0", Raw(f"1,{hexgbk(FILTERS[0][1])},{hexgbk(FILTERS[0][2])},2,2,0,0"))
    expect(failures, label, dump, "Filter1", Raw(f"1,{hexgbk(FILTERS[1][1])},,2,0,0,0"))
    expect(failures, label, dump, "Text156", "冻结了")
    for slot in range(156):
        if not absent(slot, v):
            expect(failures, label, dump, f"Text{slot}", slot_text(slot))
    expect(failures, label, dump, "Text68" if v >= 450 else "Text67", slot_text(68 if v >= 450 else 67))

# Every cut of the golden stream loads without a fault (the native build runs under ASan).
done = subprocess.run(cmd + ["cuts"], input=golden.hex().encode(), capture_output=True)
if done.returncode != 0 or b"cuts: ok" not in done.stdout:
    failures.append(f"cuts failed with {done.returncode}: {done.stderr[-2000:]!r}")

if failures:
    sys.exit("\n".join(failures))
print("options streams against the independent writer: ok")
