#!/usr/bin/env python3
"""Real peers for the transport tests on loopback; runs a command with their ports in the
environment and stops them again. Usage: transport_peers.py COMMAND [ARGS...]

  VIDUDO_PEER_DIR            folder the peers record into (messages, raw requests)
  VIDUDO_SMTP_PORT           aiosmtpd, AUTH LOGIN without TLS, user "mailer" password "s3cret"
  VIDUDO_SCRIPT_<NAME>_PORT  scripted TCP peers (see SCRIPTS)
  VIDUDO_UDP_TWICE_PORT      UDP, answers each datagram with two ("one", "two")
  VIDUDO_CLOSED_PORT         nothing listens
  VIDUDO_BLACKHOLE_PORT      connections never complete
  VIDUDO_HTTP_PORT / VIDUDO_HTTPS_PORT  recording HTTP server, plain and TLS (self-signed)
  VIDUDO_HTTP_PROXIED_PORT   the same, asked only through the proxy (Wine pools connections
                             by server, whatever the proxy)
  VIDUDO_PROXY_PORT          tinyproxy
"""
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import recording_http  # noqa: E402


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def read_line(conn):
    data = b""
    while not data.endswith(b"\r\n"):
        chunk = conn.recv(1)
        if not chunk:
            return None
        data += chunk
    return data


def hold(conn, seconds=8):
    conn.settimeout(seconds)
    try:
        while conn.recv(4096):
            pass
    except OSError:
        pass


def split300(conn):
    conn.sendall(b"220 a")
    time.sleep(0.3)
    conn.sendall(b"bc")
    hold(conn)


def split1500(conn):
    conn.sendall(b"220 a")
    time.sleep(1.5)
    conn.sendall(b"bc")
    hold(conn)


def silent(conn):
    hold(conn)


def sink(conn):
    # Echoes how much arrived and whether it is the expected sequence.
    got = b""
    conn.settimeout(8)
    while len(got) < 2500:
        chunk = conn.recv(4096)
        if not chunk:
            break
        got += chunk
    expected = bytes((i * 7 + i // 256) % 251 + 1 for i in range(2500))
    conn.sendall(b"got %d %s" % (len(got), b"same" if got == expected else b"differs"))
    hold(conn)


def reset(conn):
    conn.sendall(b"220 bye\r\n")
    time.sleep(0.3)
    conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    conn.close()


def log5k(conn):
    conn.sendall(b"L" * 5000)
    hold(conn)


def greet554(conn):
    conn.sendall(b"554 go away\r\n")
    hold(conn)


def multiline(conn):
    conn.sendall(b"220 hi\r\n")
    if read_line(conn) is None:
        return
    conn.sendall(b"250-a\r\n250-b\r\n250 c\r\n")
    if read_line(conn) is None:
        return
    conn.sendall(b"abc\r\n")
    hold(conn)


def authrefuse(conn):
    conn.sendall(b"220 ready\r\n")
    for reply in (b"250 hello\r\n", b"334 VXNlcm5hbWU6\r\n", b"334 UGFzc3dvcmQ6\r\n", b"535 5.7.8 Authentication failed\r\n"):
        if read_line(conn) is None:
            return
        conn.sendall(reply)
    hold(conn)


def trickle(conn):
    # A greeting that never ends: one byte every 900 ms, each in time to keep a reader waiting.
    conn.sendall(b"220 ")
    for _ in range(60):
        time.sleep(0.9)
        conn.sendall(b"x")


def flood(conn):
    # As fast as the reader takes it, 16 MB in all.
    piece = b"250-" + b"f" * 4090 + b"\r\n"
    for _ in range(4096):
        conn.sendall(piece)
    hold(conn)


def stopread(conn):
    # Takes the greeting and DATA, then reads nothing more.
    conn.sendall(b"220 ready\r\n")
    if read_line(conn) is None:
        return
    conn.sendall(b"354 go ahead\r\n")
    time.sleep(100)


def userrefuse(conn):
    # Refuses the user line; a password sent after that is named in the reply.
    conn.sendall(b"220 ready\r\n")
    for reply in (b"334 VXNlcm5hbWU6\r\n", b"502 not now\r\n"):
        if read_line(conn) is None:
            return
        conn.sendall(reply)
    line = read_line(conn)
    if line is None:
        return
    conn.sendall(b"535 password sent\r\n" if line.startswith(b"cGE1NXdvcmQ=") else b"250 fine\r\n")
    hold(conn)


SCRIPTS = {f.__name__: f for f in (split300, split1500, silent, sink, reset, log5k, greet554, multiline, authrefuse,
                                   trickle, flood, stopread, userrefuse)}


def serve_datagrams(sock):
    # Answers every datagram with two: a reader must take them one at a time.
    while True:
        try:
            _, peer = sock.recvfrom(2048)
            sock.sendto(b"one", peer)
            sock.sendto(b"two", peer)
        except OSError:
            return


def serve_script(listener, script):
    while True:
        try:
            conn, _ = listener.accept()
        except OSError:
            return
        threading.Thread(target=lambda c=conn: run_script(c, script), daemon=True).start()


def run_script(conn, script):
    try:
        script(conn)
    except OSError:
        pass
    finally:
        try:
            conn.close()
        except OSError:
            pass


def start_smtp(work, port):
    from aiosmtpd.controller import Controller
    from aiosmtpd.smtp import AuthResult, LoginPassword

    class Recorder:
        async def handle_DATA(self, server, session, envelope):
            with open(os.path.join(work, "mail.txt"), "ab") as f:
                f.write(b"FROM " + envelope.mail_from.encode() + b"\n")
                for r in envelope.rcpt_tos:
                    f.write(b"TO " + r.encode() + b"\n")
                f.write(envelope.original_content or b"")
            return "250 OK stored"

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = isinstance(auth_data, LoginPassword) and auth_data.login == b"mailer" and auth_data.password == b"s3cret"
        return AuthResult(success=ok)

    controller = Controller(Recorder(), hostname="127.0.0.1", port=port, authenticator=authenticator,
                            auth_required=False, auth_require_tls=False)
    controller.start()
    return controller


def make_certificate(work, name="127.0.0.1"):
    key, cert = os.path.join(work, "key.pem"), os.path.join(work, "cert.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "2", "-subj", "/CN=" + name], check=True, capture_output=True)
    return cert, key


def wait_listening(port, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def start_tinyproxy(work):
    """tinyproxy on loopback, logging into work/tinyproxy.log: (process, port)."""
    port = free_port()
    conf = os.path.join(work, "tinyproxy.conf")
    with open(conf, "w") as f:
        f.write(f"Port {port}\nListen 127.0.0.1\nTimeout 30\nAllow 127.0.0.1\n"
                f"LogFile \"{work}/tinyproxy.log\"\nLogLevel Info\nMaxClients 20\n")
    proc = subprocess.Popen(["tinyproxy", "-d", "-c", conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if not wait_listening(port):
        proc.kill()
        sys.exit("tinyproxy does not listen")
    return proc, port


def stop_processes(procs):
    """Terminates each process, killing what is still there after 5 s."""
    for p in procs:
        p.terminate()
        try:
            p.wait(5)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    work = tempfile.mkdtemp(prefix="vidudo-transport-")
    env = dict(os.environ)
    env["VIDUDO_PEER_DIR"] = work
    listeners, procs, controller = [], [], None
    try:
        for name, script in SCRIPTS.items():
            listener = socket.socket()
            listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            listener.bind(("127.0.0.1", 0))
            listener.listen(8)
            listeners.append(listener)
            env[f"VIDUDO_SCRIPT_{name.upper()}_PORT"] = str(listener.getsockname()[1])
            threading.Thread(target=serve_script, args=(listener, script), daemon=True).start()
        datagrams = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        datagrams.bind(("127.0.0.1", 0))
        listeners.append(datagrams)
        env["VIDUDO_UDP_TWICE_PORT"] = str(datagrams.getsockname()[1])
        threading.Thread(target=serve_datagrams, args=(datagrams,), daemon=True).start()
        env["VIDUDO_CLOSED_PORT"] = str(free_port())
        # A full accept queue: the kernel drops further attempts, so a connect never completes.
        blackhole = socket.socket()
        blackhole.bind(("127.0.0.1", 0))
        blackhole.listen(0)
        listeners.append(blackhole)
        for _ in range(3):
            filler = socket.socket()
            filler.setblocking(False)
            filler.connect_ex(blackhole.getsockname())
            listeners.append(filler)
        env["VIDUDO_BLACKHOLE_PORT"] = str(blackhole.getsockname()[1])

        smtp_port = free_port()
        controller = start_smtp(work, smtp_port)
        env["VIDUDO_SMTP_PORT"] = str(smtp_port)

        cert, key = make_certificate(work)
        http_port, proxied_port, https_port = recording_http.start(work, cert, key)
        env["VIDUDO_HTTP_PORT"], env["VIDUDO_HTTPS_PORT"] = str(http_port), str(https_port)
        env["VIDUDO_HTTP_PROXIED_PORT"] = str(proxied_port)

        proxy, proxy_port = start_tinyproxy(work)
        procs.append(proxy)
        env["VIDUDO_PROXY_PORT"] = str(proxy_port)

        return subprocess.call(sys.argv[1:], env=env)
    finally:
        for listener in listeners:
            listener.close()
        if controller:
            controller.stop()
        stop_processes(procs)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
