#!/usr/bin/env python3
"""The fixture must reject what the real client must never send, and its scripted faults must
be the faults they claim to be; otherwise the client tests against it prove nothing."""
import base64
import http.client
import json
import os
import socket
import subprocess
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
PATH = "/simulate_futures_app_server.php"


def packed(text, compress=zlib.compress, encoding="utf-8"):
    return base64.b64encode(compress(text.encode(encoding))).decode("ascii")


def joined(*fields):
    f = list(fields) + ["#"] * (30 - len(fields))
    return "|".join(f) + "|"


def form(value, part_headers=('Content-Disposition: form-data; name="cmd"',), extra_part=False):
    b = "XyZbOuNdArY"
    parts = ["--" + b + "\r\n" + "\r\n".join(part_headers) + "\r\n\r\n" + value + "\r\n"]
    if extra_part:
        parts.append("--" + b + '\r\nContent-Disposition: form-data; name="x"\r\n\r\n1\r\n')
    return "multipart/form-data; boundary=" + b, ("".join(parts) + "--" + b + "--\r\n").encode("latin-1")


def post(port, ctype, body, headers=None, path=PATH):
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    h = {"Content-Type": ctype}
    h.update(headers or {})
    c.request("POST", path, body=body, headers=h)
    r = c.getresponse()
    data = r.read()
    return r.status, data, r.getheader("Set-Cookie")


def control(port, what, payload=b""):
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    c.request("POST", "/control/" + what, body=payload)
    assert c.getresponse().status == 200


def log(port):
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    c.request("GET", "/control/log")
    return json.loads(c.getresponse().read())


def main():
    server = subprocess.Popen([sys.executable, os.path.join(HERE, "trading_server.py"), "--port", "0"],
                              stdout=subprocess.PIPE, text=True)
    failures = []
    try:
        ready = json.loads(server.stdout.readline())
        port = ready["port"]
        good = packed(joined("#", "#", "WELCOME"))

        status, body, cookie = post(port, *form(good))
        reply = zlib.decompress(base64.b64decode(body)).decode("utf-8")
        if status != 200 or not reply.startswith("#|#|WELCOME|228|") or not cookie:
            failures.append(f"good request: {status} {reply!r} cookie={cookie!r}")
        session = cookie.split(";")[0]
        post(port, *form(good), headers={"Cookie": session})
        if not log(port)[-1]["cookie_ok"]:
            failures.append("the returned cookie was not recognised")

        raw_deflate = lambda b: zlib.compress(b)[2:-4]
        cases = [
            ("urlencoded form", ("application/x-www-form-urlencoded", ("cmd=" + good).encode()), {}, "content type"),
            ("part with a content type", form(good, ('Content-Disposition: form-data; name="cmd"',
                                                     "Content-Type: text/plain")), {}, "part headers"),
            ("part with a file name", form(good, ('Content-Disposition: form-data; name="cmd"; filename="a"',)), {},
             "disposition"),
            ("two parts", form(good, extra_part=True), {}, "one part"),
            ("Expect header", form(good), {"Expect": "100-continue"}, "Expect"),
            ("Base64 with a line break", form(good[:8] + "\r\n" + good[8:]), {}, "base64"),
            ("deflate without the zlib header", form(packed(joined("#", "#", "X"), raw_deflate)), {}, "zlib header"),
            ("truncated zlib", form(base64.b64encode(zlib.compress(joined().encode())[:-3]).decode()), {}, "incomplete"),
            ("GBK instead of UTF-8", form(packed(joined("東方"), encoding="gbk")), {}, "utf-8"),
            ("29 separators", form(packed(joined()[:-1])), {}, "separators"),
            ("text after the last separator", form(packed(joined() + "x")), {}, "separators"),
        ]
        for name, (ctype, body), headers, reason in cases:
            status, _, _ = post(port, ctype, body, headers)
            err = log(port)[-1].get("error", "")
            if status != 400 or reason not in err:
                failures.append(f"{name}: status {status}, error {err!r}")

        control(port, "script", json.dumps({"CXWT": [{"corrupt": "base64"}, {"corrupt": "zlib"},
                                                     {"corrupt": "truncate"}, {"status": 500}]}).encode())
        cxwt = packed(joined("80001", "123456", "CXWT"))
        for kind in ("base64", "zlib", "truncate"):
            _, body, _ = post(port, *form(cxwt))
            try:
                d = zlib.decompressobj()
                d.decompress(base64.b64decode(body, validate=True))
                if d.eof:
                    failures.append(f"corrupt {kind}: the body decodes")
            except Exception:
                pass
        if post(port, *form(cxwt))[0] != 500:
            failures.append("status 500 was not sent")

        with socket.create_connection(("127.0.0.1", ready["silent_port"]), timeout=2) as s:
            s.sendall(b"POST / HTTP/1.1\r\n\r\n")
            s.settimeout(0.5)
            try:
                if s.recv(1):
                    failures.append("the silent port answered")
            except socket.timeout:
                pass
        try:
            socket.create_connection(("127.0.0.1", ready["blackhole_port"]), timeout=0.5).close()
            failures.append("a connection to the black-hole port completed")
        except socket.timeout:
            pass
    finally:
        server.terminate()
        server.wait(timeout=5)
    for f in failures:
        print("FAIL:", f)
    print("fixture self-test:", "ok" if not failures else f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
