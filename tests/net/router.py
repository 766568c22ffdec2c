"""A home behind a router, in network namespaces of the test's own (needs root).

  home (192.168.77.2) --veth-- router (192.168.77.1 | 100.128.77.1) --veth-- outside (100.128.77.2)

The router forwards and masquerades what the home sends out, drops whatever comes from outside
unasked, and runs Debian's miniupnpd (nftables), which answers UPnP IGD on the home's side and
forwards the ports it is asked for. Every address lives only inside these namespaces, which are
removed with everything in them when the `with` block ends. The outside addresses are ones that
miniupnpd accepts as a router's outside address (it refuses private and documentation ranges);
nothing is sent to them but between these namespaces, whose only links are to each other.
"""

import os
import shutil
import subprocess
import tempfile
import time

EXTERNAL = "100.128.77.1"
OUTSIDE = "100.128.77.2"
HOME = "192.168.77.2"


class Unavailable(Exception):
    """The namespaces or the router cannot be made here; the message says why in one line."""


def run(*args, check=True):
    result = subprocess.run(list(args), capture_output=True, text=True, timeout=30)
    if check and result.returncode != 0:
        raise Unavailable("%s failed: %s" % (" ".join(args), (result.stderr or result.stdout).strip()))
    return result


# The router's own tables: what miniupnpd fills (its chains), with forwarding dropped unless asked
# for, and the home's traffic masqueraded on the way out.
RULES = """
table inet miniupnpd {
  chain forward {
    type filter hook forward priority 0; policy drop;
    ct state established,related accept
    iifname "rhome" accept
    jump miniupnpd
  }
  chain miniupnpd {
  }
  chain prerouting {
    type nat hook prerouting priority -100; policy accept;
    jump prerouting_miniupnpd
  }
  chain postrouting {
    type nat hook postrouting priority 100; policy accept;
    jump postrouting_miniupnpd
    oifname "rout" masquerade
  }
  chain prerouting_miniupnpd {
  }
  chain postrouting_miniupnpd {
  }
}
"""

CONFIG = """ext_ifname=rout
listening_ip=rhome
http_port=0
enable_natpmp=no
enable_upnp=yes
secure_mode=yes
system_uptime=yes
notify_interval=30
uuid=6c1f4b2e-9d1a-4c3b-8e2f-1a2b3c4d5e6f
upnp_table_name=miniupnpd
upnp_nat_table_name=miniupnpd
upnp_forward_chain=miniupnpd
upnp_nat_chain=prerouting_miniupnpd
upnp_nat_postrouting_chain=postrouting_miniupnpd
allow 1024-65535 192.168.77.0/24 1024-65535
deny 0-65535 0.0.0.0/0 0-65535
"""


class Router:
    def __init__(self):
        tag = str(os.getpid())
        self.home, self.router, self.outside = ("gk-home-" + tag, "gk-router-" + tag,
                                                "gk-out-" + tag)
        self.dir = None
        self.daemon = None

    def __enter__(self):
        if os.geteuid() != 0:
            raise Unavailable("network namespaces need root")
        for tool in ("ip", "nft", "miniupnpd"):
            if not shutil.which(tool) and not os.path.exists("/usr/sbin/" + tool):
                raise Unavailable("%s is not installed" % tool)
        self.dir = tempfile.mkdtemp(prefix="gronka-router-")
        try:
            self._build()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def _build(self):
        for ns in (self.home, self.router, self.outside):
            run("ip", "netns", "add", ns)
            run("ip", "-n", ns, "link", "set", "lo", "up")
        run("ip", "link", "add", "home0", "netns", self.home, "type", "veth", "peer", "name",
            "rhome", "netns", self.router)
        run("ip", "link", "add", "rout", "netns", self.router, "type", "veth", "peer", "name",
            "out0", "netns", self.outside)
        for ns, link, address in ((self.home, "home0", HOME + "/24"),
                                  (self.router, "rhome", "192.168.77.1/24"),
                                  (self.router, "rout", EXTERNAL + "/24"),
                                  (self.outside, "out0", OUTSIDE + "/24")):
            run("ip", "-n", ns, "addr", "add", address, "dev", link)
            run("ip", "-n", ns, "link", "set", link, "up")
        run("ip", "-n", self.home, "route", "add", "default", "via", "192.168.77.1")
        run("ip", "netns", "exec", self.router, "sysctl", "-q", "-w", "net.ipv4.ip_forward=1")
        rules = os.path.join(self.dir, "rules.nft")
        with open(rules, "w") as f:
            f.write(RULES)
        run("ip", "netns", "exec", self.router, "nft", "-f", rules)
        config = os.path.join(self.dir, "miniupnpd.conf")
        with open(config, "w") as f:
            f.write(CONFIG)
        self.log = open(os.path.join(self.dir, "miniupnpd.log"), "w")
        self.daemon = subprocess.Popen(
            ["ip", "netns", "exec", self.router, "miniupnpd", "-d", "-f", config, "-P",
             os.path.join(self.dir, "miniupnpd.pid")], stdout=self.log, stderr=subprocess.STDOUT)
        time.sleep(0.5)
        if self.daemon.poll() is not None:
            raise Unavailable("miniupnpd did not start: " + self.daemon_log()[-300:].replace("\n", " "))

    def daemon_log(self):
        try:
            with open(os.path.join(self.dir, "miniupnpd.log")) as f:
                return f.read()
        except OSError:
            return ""

    def mappings(self):
        """The router's forwarding rules, as nft lists them."""
        return run("ip", "netns", "exec", self.router, "nft", "list", "chain", "inet",
                   "miniupnpd", "prerouting_miniupnpd", check=False).stdout

    def command(self, ns, args):
        return ["ip", "netns", "exec", ns] + list(args)

    def __exit__(self, *exc):
        if self.daemon is not None and self.daemon.poll() is None:
            self.daemon.terminate()
            try:
                self.daemon.wait(5)
            except subprocess.TimeoutExpired:
                self.daemon.kill()
                self.daemon.wait()
        for ns in (self.home, self.router, self.outside):
            subprocess.run(["ip", "netns", "del", ns], capture_output=True)
        if self.dir:
            shutil.rmtree(self.dir, ignore_errors=True)
        return False
