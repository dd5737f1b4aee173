"""A network namespace of a test's own, so that ports and the resolver list belong to the test
and nothing leaves the machine. Wine's sockets are made by wineserver, so the namespace has a
Wine prefix of its own ($WINEPREFIX + suffix) whose wineserver starts inside it.

    with NetNamespace("smtp", os.environ, "-smtpns") as ns:
        ns.resolv("nameserver 127.0.0.1\\n")
        ns.start_dnsmasq("--mx-host=x.test,mx.x.test,10")
        subprocess.run(ns.cmd(wine_test, exe), env=ns.env)
"""
import os
import subprocess

from transport_peers import stop_processes

QUIET = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class NamespaceUnavailable(Exception):
    pass


class NetNamespace:
    def __init__(self, tag, env, prefix_suffix):
        self.name = f"vidudo-{tag}-{os.getpid()}"
        self.env = dict(env, WINEPREFIX=env["WINEPREFIX"] + prefix_suffix)
        self.etc = f"/etc/netns/{self.name}"
        self.procs = []

    def cmd(self, *args):
        return ["ip", "netns", "exec", self.name, *args]

    def __enter__(self):
        # A server of this prefix left from an earlier run lives in a namespace that is gone.
        subprocess.run(["wineserver", "-k"], env=self.env, **QUIET)
        if subprocess.run(["ip", "netns", "add", self.name], **QUIET).returncode != 0:
            raise NamespaceUnavailable(self.name)
        subprocess.run(self.cmd("ip", "link", "set", "lo", "up"), check=True)
        os.makedirs(self.etc, exist_ok=True)
        return self

    def __exit__(self, *exc):
        subprocess.run(["wineserver", "-k"], env=self.env, **QUIET)
        stop_processes(self.procs)
        subprocess.run(["ip", "netns", "del", self.name], **QUIET)
        subprocess.run(["rm", "-rf", self.etc])
        return False

    def resolv(self, text):
        with open(os.path.join(self.etc, "resolv.conf"), "w") as f:
            f.write(text)

    def popen(self, args, **kwargs):
        """A process inside the namespace, stopped when the namespace goes."""
        proc = subprocess.Popen(self.cmd(*args), **kwargs)
        self.procs.append(proc)
        return proc

    def start_dnsmasq(self, *options):
        """dnsmasq on 127.0.0.1:53 answering from its options alone."""
        return self.popen(["dnsmasq", "--keep-in-foreground", "--no-resolv", "--no-hosts", "--conf-file=/dev/null",
                           "--listen-address=127.0.0.1", "--bind-interfaces", "--port=53", "--user=root",
                           "--pid-file=", *options], **QUIET)
