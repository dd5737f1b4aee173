#!/usr/bin/env python3
"""A stand-in for the trading server on 127.0.0.1. It validates and logs every request and
answers from a scripted table, falling back to a small happy-path session. See README.md."""
import argparse
import base64
import binascii
import json
import secrets
import socket
import sys
import threading
import time
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

PATH = "/simulate_futures_app_server.php"
# Pages of the service's site that the client shows; any other GET is a 404.
PAGES = {
    "/plugins/futures/loginad.php": "<html><body style='margin:0;background:#1f4e8c;color:#fff'>"
                                    "<h3 style='margin:12px'>Vidudo 模拟交易</h3></body></html>",
}
COOKIE = "VIDUDOSESSION"
VERSION = "228"
ACCOUNTS = {"80001": ("123456", "张三", "演示基金", "稳健"), "80002": ("654321", "李四", "成长基金", "进取")}
FUNDS = [("演示基金", "1001"), ("成长基金", "1002")]


def record(*fields):
    """A joined reply line: the fields given, then "#" up to 30."""
    f = [str(x) for x in fields] + ["#"] * (30 - len(fields))
    return "|".join(f[:30]) + "|"


def with_first(fields, first):
    f = list(fields) + ["#"] * (30 - len(fields))
    f[29] = "FIRST" if first else "#"
    return record(*f)


def encode_body(text):
    return base64.b64encode(zlib.compress(text.encode("utf-8"))).decode("ascii")


class RequestError(Exception):
    pass


def decode_cmd(value):
    """The strict reverse of the client's packing; raises RequestError with the reason."""
    try:
        raw = base64.b64decode(value, validate=True)
    except (binascii.Error, ValueError) as e:
        raise RequestError(f"base64: {e}")
    if len(raw) < 2 or raw[0] & 0x0F != 8 or ((raw[0] << 8) | raw[1]) % 31 != 0:
        raise RequestError("no zlib header")
    d = zlib.decompressobj()
    try:
        data = d.decompress(raw)
    except zlib.error as e:
        raise RequestError(f"zlib: {e}")
    if not d.eof or d.unused_data:
        raise RequestError("zlib stream incomplete or followed by data")
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as e:
        raise RequestError(f"utf-8: {e}")
    if text.count("|") != 30 or not text.endswith("|"):
        raise RequestError(f"{text.count('|')} separators: {text!r}")
    return text.split("|")[:30]


def parse_multipart(content_type, body):
    """The value of the one part "cmd"; anything else in the form is an error."""
    kind, _, params = content_type.partition(";")
    if kind.strip().lower() != "multipart/form-data":
        raise RequestError(f"content type {content_type!r}")
    boundary = None
    for p in params.split(";"):
        k, _, v = p.strip().partition("=")
        if k.lower() == "boundary":
            boundary = v.strip('"')
    if not boundary:
        raise RequestError("no boundary")
    delim = b"--" + boundary.encode("latin-1")
    chunks = body.split(delim)
    if len(chunks) != 3 or chunks[0] not in (b"", b"\r\n") or not chunks[2].startswith(b"--"):
        raise RequestError(f"expected one part, got {len(chunks) - 2}")
    part = chunks[1]
    if not part.startswith(b"\r\n") or not part.endswith(b"\r\n"):
        raise RequestError("part framing")
    head, sep, value = part[2:-2].partition(b"\r\n\r\n")
    if not sep:
        raise RequestError("part without a blank line")
    headers = head.decode("latin-1").split("\r\n")
    if len(headers) != 1:
        raise RequestError(f"part headers {headers!r}")
    name, _, disp = headers[0].partition(":")
    if name.strip().lower() != "content-disposition":
        raise RequestError(f"part header {headers[0]!r}")
    d = [x.strip() for x in disp.split(";")]
    if d[0].lower() != "form-data" or d[1:] != ['name="cmd"']:
        raise RequestError(f"disposition {disp!r}")
    return value.decode("ascii", "replace")


class Session:
    """Scripts, the request log and the little state of the default session."""

    def __init__(self):
        self.lock = threading.Lock()
        self.stopping = threading.Event()
        self.reset()

    def reset(self):
        with getattr(self, "lock", threading.Lock()):
            self.scripts = {}
            self.log = []
            self.pages = []
            self.page_delays = {}
            self.cookies = set()
            self.in_flight = 0
            self.orders = []
            # Requests still hanging from before a reset stay out of the new log.
            self.generation = getattr(self, "generation", 0) + 1

    def next_action(self, command):
        with self.lock:
            q = self.scripts.get(command.upper())
            return q.pop(0) if q else None

    def default_reply(self, f):
        cmd = f[2].upper()
        if cmd == "ACCOUNTLIST":
            return record(*[f"{n}&{v}" for n, v in FUNDS])
        if cmd == "WELCOME":
            return record("#", "#", "WELCOME", VERSION, "#")
        if cmd == "LOGIN":
            acc = ACCOUNTS.get(f[0])
            if acc and acc[0] == f[1]:
                return record(f[0], "#", "LOGINOK", acc[1], acc[2], acc[3])
            return record("#", "#", "MESSAGE", "用户名或密码错误")
        if cmd == "QQHQ":
            code = f[3].lower()
            return record("#", "#", "HQXX", code, 3500, 3501, 12, 3499, 30, 3800, 3200, 3550, 3450, "B", 0.08, 0.1, 10)
        if cmd == "XD":
            with self.lock:
                no = str(len(self.orders) + 1)
                self.orders.append([no, f[5], f[3], f[4], f[6], f[7], "0", "已报", "2026-12-10 10:00:00"])
                o = list(self.orders[-1])
            return with_first(["#", "#", "WTXX", o[0], o[1], o[2], o[3], o[4], o[5], o[6], "0", o[8], o[7]], False)
        if cmd == "WTCD":
            with self.lock:
                for o in self.orders:
                    if o[0] == f[3]:
                        o[7] = "已撤单"
            return record("#", "#", "MESSAGE", "撤单成功")
        if cmd == "CXWT":
            with self.lock:
                orders = [list(o) for o in self.orders]
            if not orders:
                orders = [["1", "m1105", "开仓", "买入", "3500", "2", "0", "已报", "2026-12-10 09:30:00"]]
            return "\r\n".join(
                with_first(["#", "#", "WTXX", o[0], o[1], o[2], o[3], o[4], o[5], o[6], "0", o[8], o[7]], i == 0)
                for i, o in enumerate(orders))
        if cmd == "CXCJ":
            return with_first(["#", "#", "CJXX", "1", "m1105", "买入", "开仓", "3500", "2", "5", "2026-12-10 09:31:00"], True)
        if cmd == "CXCC":
            return with_first(["#", "#", "CCXX", "m1105", "买入", "3500", "#", "#", "2", "0", "120", "0",
                               "2026-12-10", "7000", "2026-12-10"], True)
        if cmd == "CXHY":
            return "\r\n".join([
                with_first(["#", "#", "HYXX", " m1105 ", "B", "10", "0.08", "5", "0", "豆粕1105", "1"], True),
                with_first(["#", "#", "HYXX", "a0", "B", "10", "0.08", "5", "0", "豆一", "1"], False)])
        if cmd == "CXZJ":
            return record("#", "#", "ZJXX", 100000, 93000, 5, 0, 0, 120, 7000, "7.00%", 100000)
        if cmd == "CXZDCC":
            return record("#", "#", "ZDCCXX", f[3], "2", f[4])
        if cmd == "CXZLHY":
            rows = [("铜", "cu1105", "1"), ("豆粕", "m1105", "2"), ("白糖", "SR105", "3"), ("沪深300", "IF1105", "9")]
            return "\r\n".join(with_first(["#", "#", "ZLHYXX", *r], i == 0) for i, r in enumerate(rows))
        if cmd == "GGMM":
            return record("#", "#", "MESSAGE", "密码修改成功")
        return record("#", "#", "MESSAGE", "未知命令")


def reply_text(action):
    lines = action.get("lines", [])
    eol = action.get("eol", "\r\n")
    def one(line):
        if isinstance(line, str):
            return line
        if isinstance(line, dict):
            return with_first(line["f"], line.get("first", False))
        return record(*line)

    text = eol.join(one(line) for line in lines)
    return action.get("text", text)


def body_for(action, text):
    body = encode_body(text)
    corrupt = action.get("corrupt")
    if corrupt == "base64":
        return "这不是Base64!"
    if corrupt == "zlib":
        raw = bytearray(zlib.compress(text.encode("utf-8")))
        for i in range(2, len(raw) - 4):
            raw[i] ^= 0x5A
        return base64.b64encode(bytes(raw)).decode("ascii")
    if corrupt == "truncate":
        raw = zlib.compress(text.encode("utf-8"))
        return base64.b64encode(raw[: max(3, len(raw) // 2)]).decode("ascii")
    return action.get("body", body)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "VidudoFixture/1"

    def log_message(self, fmt, *args):
        if self.server.verbose:
            sys.stderr.write("fixture: " + (fmt % args) + "\n")

    def send_text(self, status, text, ctype="text/plain; charset=utf-8", headers=()):
        data = text.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(data)))
        for k, v in headers:
            self.send_header(k, v)
        self.end_headers()
        self.mark_done()
        self.wfile.write(data)

    def do_GET(self):
        s = self.server.session
        if self.path == "/control/log":
            with s.lock:
                return self.send_text(200, json.dumps(s.log, ensure_ascii=False), "application/json")
        if self.path == "/control/log.tsv":
            # One request a line for clients without JSON: peer, cookie_ok, overlap, path,
            # arrival, finish, error, then the 30 fields joined with "|".
            with s.lock:
                rows = ["\t".join([e["peer"], "1" if e.get("cookie_ok") else "0", "1" if e["overlap"] else "0",
                                    e["path"], "%.6f" % e["arrival"], "%.6f" % e["finish"],
                                    e.get("error", "").replace("\t", " ").replace("\n", " "),
                                    "|".join(e.get("fields", []))]) for e in s.log]
            return self.send_text(200, "".join(r + "\n" for r in rows))
        if self.path == "/control/pages":
            with s.lock:
                return self.send_text(200, "".join(p + "\n" for p in s.pages))
        # The service's web pages: every GET is noted, so a test sees what a browser pane asked for.
        with s.lock:
            s.pages.append(self.path)
            delay = s.page_delays.get(self.path.split("?")[0], 0)
        if delay:
            time.sleep(min(float(delay), 30))
        if self.path.split("?")[0] in PAGES:
            return self.send_text(200, PAGES[self.path.split("?")[0]], "text/html; charset=utf-8")
        self.send_text(404, "not found")

    def read_body(self):
        n = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(n) if n else b""

    def do_POST(self):
        s = self.server.session
        if self.path.startswith("/control/"):
            return self.control(s, self.path[len("/control/"):], self.read_body())
        if self.path.split("?")[0] != PATH:
            self.read_body()
            return self.send_text(404, "not found")
        arrival = time.monotonic()
        with s.lock:
            overlap = s.in_flight > 0
            s.in_flight += 1
            generation = s.generation
        self.entry = {"arrival": arrival, "peer": self.client_address[0], "path": self.path, "overlap": overlap}
        self.generation = generation
        try:
            self.exchange(s, self.entry)
        finally:
            self.mark_done()

    def mark_done(self):
        """Logs the request before the last bytes of its reply leave: once the client has the
        reply, the log holds the request, and the next request can't look like an overlap."""
        entry = getattr(self, "entry", None)
        if entry is None or "finish" in entry:
            return
        s = self.server.session
        entry["finish"] = time.monotonic()
        with s.lock:
            if self.generation != s.generation:
                return
            if not entry.get("hung"):
                s.in_flight -= 1
            entry["seq"] = len(s.log)
            s.log.append(entry)

    def exchange(self, s, entry):
        cookie = None
        for part in (self.headers.get("Cookie") or "").split(";"):
            k, _, v = part.strip().partition("=")
            if k == COOKIE:
                cookie = v
        with s.lock:
            entry["cookie"] = cookie
            entry["cookie_ok"] = cookie in s.cookies
        headers = []
        if not entry["cookie_ok"]:
            fresh = secrets.token_hex(8)
            with s.lock:
                s.cookies.add(fresh)
            headers.append(("Set-Cookie", f"{COOKIE}={fresh}; Path=/"))
        body = self.read_body()
        try:
            if self.headers.get("Expect"):
                raise RequestError(f"Expect: {self.headers.get('Expect')}")
            fields = decode_cmd(parse_multipart(self.headers.get("Content-Type", ""), body))
        except RequestError as e:
            entry["error"] = str(e)
            return self.send_text(400, f"bad request: {e}", headers=headers)
        entry["fields"] = fields
        entry["command"] = fields[2]
        action = s.next_action(fields[2]) or {}
        entry["action"] = action
        if action.get("delay"):
            time.sleep(float(action["delay"]))
        if action.get("hang"):
            # The client gives up long before this ends; it must not count as overlapping.
            with s.lock:
                s.in_flight -= 1
                entry["hung"] = True
            s.stopping.wait(float(action.get("hang_for", 600)))
            self.close_connection = True
            return
        if action.get("close"):
            self.close_connection = True
            return
        if action.get("redirect") and "?" not in self.path:
            self.send_response(int(action["redirect"]))
            self.send_header("Location", PATH + "?moved=1")
            self.send_header("Content-Length", "0")
            for k, v in headers:
                self.send_header(k, v)
            self.mark_done()
            self.end_headers()
            return
        text = reply_text(action) if ("lines" in action or "text" in action) else s.default_reply(fields)
        self.send_text(int(action.get("status", 200)), body_for(action, text), headers=headers)

    def control(self, s, what, body):
        if what == "reset":
            s.reset()
            return self.send_text(200, "ok")
        if what == "script":
            # {"CXWT": [action, ...], ...}: each request of that command takes the next action.
            script = json.loads(body.decode("utf-8"))
            with s.lock:
                for cmd, actions in script.items():
                    s.scripts.setdefault(cmd.upper(), []).extend(actions)
            return self.send_text(200, "ok")
        if what == "pagedelay":
            # {"/path": seconds, ...}: those pages answer only after the delay.
            delays = json.loads(body.decode("utf-8"))
            with s.lock:
                s.page_delays.update({p: float(d) for p, d in delays.items()})
            return self.send_text(200, "ok")
        self.send_text(404, "unknown control")


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--host", default="127.0.0.1")
    ap.add_argument("--port", type=int, default=8080, help="0 picks a free port")
    ap.add_argument("--verbose", action="store_true")
    args = ap.parse_args()

    server = ThreadingHTTPServer((args.host, args.port), Handler)
    server.daemon_threads = True
    server.session = Session()
    server.verbose = args.verbose
    # Accepts connections (through the listen backlog) and never answers.
    silent = socket.socket()
    silent.bind((args.host, 0))
    silent.listen(64)
    # A full accept queue: the kernel drops further connection attempts, so a connect never completes.
    blackhole = socket.socket()
    blackhole.bind((args.host, 0))
    blackhole.listen(0)
    fillers = []
    for _ in range(3):
        f = socket.socket()
        f.setblocking(False)
        f.connect_ex(blackhole.getsockname())
        fillers.append(f)
    print(json.dumps({"port": server.server_address[1], "silent_port": silent.getsockname()[1],
                      "blackhole_port": blackhole.getsockname()[1]}), flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.session.stopping.set()
        silent.close()
        blackhole.close()
        for f in fillers:
            f.close()


if __name__ == "__main__":
    main()
