#!/usr/bin/env python3
"""Real peers for the upload and tracker tests on loopback; runs a command with their ports in
the environment and stops them again. Usage: upload_peers.py COMMAND [ARGS...]

  VIDUDO_PEER_DIR          what the peers record: http-N.req (each upload request as it arrived),
                           tracker.log (one line per tracker form field), ftp1/ and ftp2/ (uploads),
                           tinyproxy.log
  VIDUDO_HTTP_PORT         recording upload server: 200 "OK", "/found.php" 302 Found
  VIDUDO_HTTPS_PORT        the same over TLS with a self-signed certificate
  VIDUDO_HTTP_PROXIED_PORT the same, asked only through the proxy (Wine pools connections by
                           server, whatever the proxy)
  VIDUDO_PROXY_PORT        tinyproxy
  VIDUDO_FTP_PORT          pyftpdlib: anonymous may write; user "u" password "p"
  VIDUDO_VSFTPD_PORT       vsftpd, anonymous upload into "up/"
  VIDUDO_TRACKER_PORT      fake Mantis (/mantis/), Bugzilla (/bugzilla/) and FogBugz (/fogbugz/)
  VIDUDO_CLOSED_PORT       nothing listens
With VIDUDO_HTTPS_443=1 (inside a network namespace of its own) the TLS server also listens
on port 443.
"""
import http.server
import os
import shutil
import ssl
import subprocess
import sys
import tempfile
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import fake_trackers  # noqa: E402
from transport_peers import free_port, make_certificate, start_tinyproxy, stop_processes, wait_listening  # noqa: E402,F401


class Recorder(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    work = None
    count = [0]
    lock = threading.Lock()

    def log_message(self, *args):
        pass

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        raw = (self.requestline + "\r\n" + "".join(f"{k}: {v}\r\n" for k, v in self.headers.items()) +
               "\r\n").encode("latin-1") + body
        with self.lock:
            self.count[0] += 1
            name = os.path.join(self.work, f"http-{self.count[0]}.req")
        with open(name + ".tmp", "wb") as f:
            f.write(raw)
        os.rename(name + ".tmp", name)
        if self.path.split("?")[0].endswith("/found.php"):
            self.send_response(302, "Found")
            self.send_header("Location", "/up/target.php")
        else:
            self.send_response(200, "OK")
        self.send_header("Content-Length", "2")
        self.end_headers()
        self.wfile.write(b"OK")

    do_GET = do_POST = handle_any


def serve(server):
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def start_pyftpdlib(root):
    import logging
    import warnings
    logging.getLogger("pyftpdlib").setLevel(logging.WARNING)
    logging.getLogger("pyftpdlib").addHandler(logging.NullHandler())
    warnings.filterwarnings("ignore", "write permissions assigned to anonymous user")
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import ThreadedFTPServer
    os.makedirs(os.path.join(root, "up"))
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(root, perm="elradfmw")
    authorizer.add_user("u", "p", root, perm="elradfmw")
    handler = type("Handler", (FTPHandler,), {"authorizer": authorizer, "passive_ports": range(40000, 50000),
                                            "auth_failed_timeout": 0.1})
    server = ThreadedFTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, kwargs={"handle_exit": False}, daemon=True).start()
    return server, server.address[1]


def start_vsftpd(work, root):
    # The anonymous root must not be writable; the upload folder belongs to the ftp user.
    os.makedirs(os.path.join(root, "up"))
    os.chmod(root, 0o755)
    shutil.chown(os.path.join(root, "up"), "ftp", "ftp")
    os.makedirs("/var/run/vsftpd/empty", exist_ok=True)
    port = free_port()
    conf = os.path.join(work, "vsftpd.conf")
    with open(conf, "w") as f:
        f.write(f"""listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port={port}
background=NO
anonymous_enable=YES
no_anon_password=YES
anon_root={root}
write_enable=YES
anon_upload_enable=YES
anon_umask=022
local_enable=NO
pasv_enable=YES
pasv_address=127.0.0.1
pasv_min_port=50001
pasv_max_port=60000
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
xferlog_enable=NO
secure_chroot_dir=/var/run/vsftpd/empty
ftp_username=ftp
""")
    proc = subprocess.Popen(["vsftpd", conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if not wait_listening(port):
        proc.kill()
        sys.exit("vsftpd does not listen")
    return proc, port


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    work = tempfile.mkdtemp(prefix="vidudo-upload-")
    os.chmod(work, 0o755)
    env = dict(os.environ, VIDUDO_PEER_DIR=work)
    procs, servers, ftp = [], [], None
    try:
        Recorder.work = work
        cert, key = make_certificate(work, "upload.test")
        plain = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Recorder)
        tls = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Recorder)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        tls.socket = context.wrap_socket(tls.socket, server_side=True)
        if os.environ.get("VIDUDO_HTTPS_443"):
            tls443 = http.server.ThreadingHTTPServer(("127.0.0.1", 443), Recorder)
            tls443.socket = context.wrap_socket(tls443.socket, server_side=True)
            serve(tls443)
            servers.append(tls443)
        proxied = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Recorder)
        env["VIDUDO_HTTP_PORT"], env["VIDUDO_HTTPS_PORT"] = str(serve(plain)), str(serve(tls))
        env["VIDUDO_HTTP_PROXIED_PORT"] = str(serve(proxied))
        servers.append(proxied)
        trackers = fake_trackers.make_server(os.path.join(work, "tracker.log"))
        env["VIDUDO_TRACKER_PORT"] = str(serve(trackers))
        servers += [plain, tls, trackers]
        env["VIDUDO_CLOSED_PORT"] = str(free_port())

        ftp, env["VIDUDO_FTP_PORT"] = start_pyftpdlib(os.path.join(work, "ftp1"))
        env["VIDUDO_FTP_PORT"] = str(env["VIDUDO_FTP_PORT"])
        vsftpd, vsftpd_port = start_vsftpd(work, os.path.join(work, "ftp2"))
        procs.append(vsftpd)
        env["VIDUDO_VSFTPD_PORT"] = str(vsftpd_port)

        proxy, proxy_port = start_tinyproxy(work)
        procs.append(proxy)
        env["VIDUDO_PROXY_PORT"] = str(proxy_port)

        return subprocess.call(sys.argv[1:], env=env)
    finally:
        for server in servers:
            server.shutdown()
            server.server_close()
        if ftp:
            ftp.close_all()
        stop_processes(procs)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
