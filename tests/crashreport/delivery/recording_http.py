"""HTTP and HTTPS servers for the transport tests. Every answer's body is "ECHO " and the
Base64 of the request as it arrived (request line, headers, body), so a test sees exactly what
was sent even though the client turns control characters into spaces.

  /r/moved.php   301 to /r/target.php      /r/found.php   302 to /r/target.php
  /r/refresh.php 200 with "Refresh: 0; url=next.php"
  /r/self.php    302 to itself             /r/away.php    302 to another host
  /r/count.php?P how many requests /r/P had
  /r/page.php?B  the page whose Base64 is B
  /r/trickle.php a page of 100 bytes, one byte every 900 ms
  /r/flood.php   64 MB as fast as the client takes them
  anything else  200"""
import base64
import collections
import http.server
import ssl
import threading
import time

hits = collections.Counter()
lock = threading.Lock()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        raw = (self.requestline + "\r\n" + "".join(f"{k}: {v}\r\n" for k, v in self.headers.items()) + "\r\n").encode(
            "latin-1") + body
        path, _, query = self.path.partition("?")
        page = path.rsplit("/", 1)[-1]
        with lock:
            hits[page] += 1
        status, headers = 200, []
        if page == "moved.php":
            status, headers = 301, [("Location", "/r/target.php")]
        elif page == "found.php":
            status, headers = 302, [("Location", "/r/target.php")]
        elif page == "refresh.php":
            headers = [("Refresh", "0; url=next.php")]
        elif page == "self.php":
            status, headers = 302, [("Location", "/r/self.php")]
        elif page == "away.php":
            status, headers = 302, [("Location", "http://elsewhere.invalid/r/target.php")]
        if page in ("trickle.php", "flood.php"):
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", "100" if page == "trickle.php" else str(64 << 20))
            self.end_headers()
            try:
                if page == "trickle.php":
                    for _ in range(100):
                        self.wfile.write(b"t")
                        self.wfile.flush()
                        time.sleep(0.9)
                else:
                    piece = b"f" * 65536
                    for _ in range(1024):
                        self.wfile.write(piece)
            except OSError:
                pass
            self.close_connection = True
            return
        if page == "page.php":
            out = base64.b64decode(query)
        elif page == "count.php":
            with lock:
                out = str(hits[query]).encode()
        else:
            out = b"ECHO " + base64.b64encode(raw)
        self.send_response(status)
        for k, v in headers:
            self.send_header(k, v)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(out)))
        self.end_headers()
        self.wfile.write(out)

    do_GET = do_POST = do_HEAD = handle_any


def serve(server):
    threading.Thread(target=server.serve_forever, daemon=True).start()


def start(work, cert, key):
    plain = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    proxied = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    tls = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    tls.socket = context.wrap_socket(tls.socket, server_side=True)
    for server in (plain, proxied, tls):
        serve(server)
    return plain.server_address[1], proxied.server_address[1], tls.server_address[1]
