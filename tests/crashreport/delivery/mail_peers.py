#!/usr/bin/env python3
"""Mail peers on loopback for the e-mail delivery test; runs a command with their ports in the
environment, then checks the stored messages with Python's email package.
Usage: mail_peers.py COMMAND [ARGS...]

  VIDUDO_PEER_DIR          folder the peers record into
  VIDUDO_SMTP_PORT         aiosmtpd: each message as msg-N.eml with msg-N.json (envelope)
  VIDUDO_SCRIPT_SMTP_PORT  scripted SMTP peer accepting AUTH LOGIN; every line it gets goes to
                           session-N.log (one file per connection); "RCPT TO" holding "bad"
                           gets 550
  VIDUDO_AUTH502_PORT      the same, answering 502 to "AUTH LOGIN"
  VIDUDO_UPLOAD_PORT       HTTP server storing each request's body as upload-N.bin
  VIDUDO_TRACKER_PORT      fake_trackers.py (Mantis at /mantis/), logging to tracker.log
After the command, every message whose subject starts with "=?GBK?" must decode (subject, body
and sender) to the texts the test sent: SUBJECT, BODY and FROM_NAME below, from the envelope's
FROM_ADDRESS, with no encoded word over 75 characters.
"""
import email
import email.policy
import glob
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import fake_trackers  # noqa: E402
from transport_peers import free_port  # noqa: E402

SUBJECT = "崩溃报告 1.0：程序在处理行情数据时访问了无效的地址，请查看附件里的日志和截图"
BODY = "程序出错了。\r\n第二行"
FROM_NAME = "技术支持"
FROM_ADDRESS = "crash@vidudo.test"


def start_smtp(work, port):
    from aiosmtpd.controller import Controller

    counter = [0]
    lock = threading.Lock()

    class Recorder:
        async def handle_DATA(self, server, session, envelope):
            with lock:
                counter[0] += 1
                n = counter[0]
            base = os.path.join(work, f"msg-{n}")
            with open(base + ".eml", "wb") as f:
                f.write(envelope.original_content or b"")
            with open(base + ".json", "w") as f:
                json.dump({"from": envelope.mail_from, "to": envelope.rcpt_tos}, f)
            return "250 OK stored"

    controller = Controller(Recorder(), hostname="127.0.0.1", port=port)
    controller.start()
    return controller


class ScriptedSmtp:
    """greeting_delay: seconds between the connection and the greeting."""

    def __init__(self, work, auth_reply, greeting_delay=0):
        self.work, self.auth_reply, self.greeting_delay = work, auth_reply, greeting_delay
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(8)
        self.port = self.listener.getsockname()[1]
        self.count = 0
        self.lock = threading.Lock()
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            try:
                conn, _ = self.listener.accept()
            except OSError:
                return
            with self.lock:
                self.count += 1
                name = os.path.join(self.work, f"session-{self.port}-{self.count}.log")
            threading.Thread(target=self.session, args=(conn, name), daemon=True).start()

    def session(self, conn, name):
        conn.settimeout(20)
        f = conn.makefile("rb")
        out = open(name, "wb")
        try:
            if self.greeting_delay:
                time.sleep(self.greeting_delay)
            conn.sendall(b"220 scripted ready\r\n")
            state = None
            while True:
                line = f.readline()
                if not line:
                    out.write(b"<closed>\n")
                    return
                out.write(line)
                out.flush()
                cmd = line.strip().upper()
                if state == "user":
                    conn.sendall(b"334 UGFzc3dvcmQ6\r\n")
                    state = "password"
                elif state == "password":
                    conn.sendall(b"235 2.7.0 Authentication successful\r\n")
                    state = None
                elif cmd == b"AUTH LOGIN":
                    if self.auth_reply == 502:
                        conn.sendall(b"502 5.5.1 Not implemented\r\n")
                    else:
                        conn.sendall(b"334 VXNlcm5hbWU6\r\n")
                        state = "user"
                elif cmd.startswith(b"RCPT TO") and b"BAD" in cmd:
                    conn.sendall(b"550 5.1.1 No such user\r\n")
                elif cmd == b"DATA":
                    conn.sendall(b"354 go ahead\r\n")
                    while True:
                        data = f.readline()
                        if not data:
                            return
                        out.write(b"D " + data)
                        if data == b".\r\n":
                            break
                    conn.sendall(b"250 2.0.0 queued\r\n")
                elif cmd == b"QUIT":
                    conn.sendall(b"221 bye\r\n")
                    return
                else:
                    conn.sendall(b"250 ok\r\n")
        except OSError:
            pass
        finally:
            out.close()
            conn.close()


def start_upload(work):
    import http.server

    counter = [0]
    lock = threading.Lock()

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def do_POST(self):
            body = self.rfile.read(int(self.headers.get("Content-Length") or 0))
            with lock:
                counter[0] += 1
                n = counter[0]
            with open(os.path.join(work, f"upload-{n}.bin"), "wb") as f:
                f.write(body)
            self.send_response(200)
            self.send_header("Content-Length", "2")
            self.end_headers()
            self.wfile.write(b"OK")

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def check_chinese(work):
    found = 0
    for path in sorted(glob.glob(os.path.join(work, "msg-*.eml"))):
        raw = open(path, "rb").read()
        if b"Subject: =?GBK?" not in raw:
            continue
        found += 1
        message = email.message_from_bytes(raw, policy=email.policy.default)
        subject = str(message["subject"])
        body = next(p for p in message.walk() if p.get_content_type() == "text/plain")
        text = body.get_content()
        if subject != SUBJECT or text.rstrip("\r\n").replace("\r\n", "\n") != BODY.replace("\r\n", "\n"):
            print(f"mail_peers: {path}: subject {subject!r}, body {text!r}")
            return False
        if body.get_content_charset().lower() != "gbk":
            print(f"mail_peers: {path}: charset {body.get_content_charset()}")
            return False
        sender = message["from"].addresses
        envelope = json.load(open(path[:-4] + ".json"))["from"]
        if len(sender) != 1 or (sender[0].display_name, sender[0].addr_spec, envelope) != (
                FROM_NAME, FROM_ADDRESS, FROM_ADDRESS):
            print(f"mail_peers: {path}: from {message['from']!r}, envelope {envelope!r}")
            return False
        words = re.findall(rb"=\?GBK\?B\?[A-Za-z0-9+/=]*\?=", raw)
        if len(words) < 3 or max(map(len, words)) > 75:
            print(f"mail_peers: {path}: encoded words {words!r}")
            return False
    if not found:
        print("mail_peers: no GBK message arrived")
        return False
    return True


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    work = tempfile.mkdtemp(prefix="vidudo-mail-")
    env = dict(os.environ)
    env["VIDUDO_PEER_DIR"] = work
    controller = None
    scripted = []
    try:
        port = free_port()
        controller = start_smtp(work, port)
        env["VIDUDO_SMTP_PORT"] = str(port)
        scripted = [ScriptedSmtp(work, 334), ScriptedSmtp(work, 502)]
        env["VIDUDO_SCRIPT_SMTP_PORT"] = str(scripted[0].port)
        env["VIDUDO_AUTH502_PORT"] = str(scripted[1].port)
        upload = start_upload(work)
        env["VIDUDO_UPLOAD_PORT"] = str(upload.server_address[1])
        trackers = fake_trackers.make_server(os.path.join(work, "tracker.log"))
        threading.Thread(target=trackers.serve_forever, daemon=True).start()
        env["VIDUDO_TRACKER_PORT"] = str(trackers.server_address[1])
        rc = subprocess.call(sys.argv[1:], env=env)
        if rc == 0 and "--gtest_filter" not in " ".join(sys.argv) and not check_chinese(work):
            rc = 1
        return rc
    finally:
        for s in scripted:
            s.listener.close()
        if controller:
            controller.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
