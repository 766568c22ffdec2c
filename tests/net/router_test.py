#!/usr/bin/env python3
"""A host behind a home router and a joiner outside it (needs root: network namespaces).

The home, the router (Debian's miniupnpd on nftables) and the outside are namespaces of this
test's own (router.py). The host plays from the home, the joiner from outside, joining the
router's outside address:
  - a host where no router answers says so, and which port to forward to which address by hand;
  - with --no-upnp the host asks for nothing, and the joiner does not get in;
  - without it the host asks the router to forward its port and says the router's outside
    address; the joiner gets in through that mapping and both play 200 frames to the same hash;
    when the host ends, the mapping is gone.
Where the namespaces or the router cannot be made, the test fails with one line saying why.

Usage: router_test.py PROGRAM
"""

import os
import subprocess
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import router  # noqa: E402

PORT = 27315
failures = []


def check(condition, what):
    print(("ok:   " if condition else "FAIL: ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


class Side:
    def __init__(self, command, name, workdir):
        self.out = os.path.join(workdir, name + ".out")
        self.err = os.path.join(workdir, name + ".err")
        with open(self.out, "w") as out, open(self.err, "w") as err:
            self.proc = subprocess.Popen(command, stdout=out, stderr=err, cwd=workdir)

    def text(self):
        with open(self.out) as f:
            return f.read()

    def wait_for(self, words, seconds):
        deadline = time.time() + seconds
        while time.time() < deadline:
            if words in self.text():
                return True
            if self.proc.poll() is not None:
                return words in self.text()
            time.sleep(0.05)
        return False

    def wait(self, seconds):
        try:
            return self.proc.wait(seconds)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            return None

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()

    def field(self, key):
        text = self.text()
        line = text[text.rfind("net: "):]
        at = line.find(key)
        return line[at + len(key):].split(",")[0].split()[0] if at >= 0 else ""


def play(r, program, workdir):
    host_args = [program, "--host", str(PORT), "--headless", "--net-frames", "200"]
    join_args = [program, "--join", "%s:%d" % (router.EXTERNAL, PORT), "--headless",
                 "--net-frames", "200"]

    # Outside, no router answers: the port is to be forwarded by hand.
    lonely = Side(r.command(r.outside, host_args), "host-lonely", workdir)
    try:
        said = ("net: no port forwarding: no router answered (UPnP); forward UDP port %d to %s "
                "by hand" % (PORT, router.OUTSIDE))
        check(lonely.wait_for(said, 10), "where no router answers the host says: " + said)
    finally:
        lonely.stop()

    # Without the mapping the router lets nothing in.
    host = Side(r.command(r.home, host_args + ["--no-upnp"]), "host-plain", workdir)
    join = Side(r.command(r.outside, join_args), "join-plain", workdir)
    try:
        check(host.wait_for("net: waiting on port %d" % PORT, 10), "the host waits")
        time.sleep(6)
        check("the match begins" not in host.text(),
              "with --no-upnp the joiner outside does not get in")
        check("forwards" not in host.text() and "dport %d" % PORT not in r.mappings(),
              "with --no-upnp the host asked the router for nothing")
    finally:
        host.stop()
        join.stop()

    host = Side(r.command(r.home, host_args), "host", workdir)
    join = None
    try:
        said = "net: the router forwards %s port %d" % (router.EXTERNAL, PORT)
        if not check(host.wait_for(said, 10), "the host says: " + said):
            print(host.text() + open(host.err).read())
            return
        check("dport %d" % PORT in r.mappings(), "the router holds the mapping")
        join = Side(r.command(r.outside, join_args), "join", workdir)
        host_code, join_code = host.wait(90), join.wait(30)
        check(host_code == 0 and join_code == 0,
              "both sides play 200 frames through the mapping (exit codes %s, %s)"
              % (host_code, join_code))
        check(host.field("hash ") != "" and host.field("hash ") == join.field("hash "),
              "the same hash on both sides (%s, %s)" % (host.field("hash "), join.field("hash ")))
        check("dport %d" % PORT not in r.mappings(), "the mapping is removed when the host ends")
    finally:
        host.stop()
        if join:
            join.stop()


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    program = os.path.abspath(sys.argv[1])
    workdir = os.environ.get("TMPDIR") or "/tmp"
    try:
        with router.Router() as r:
            workdir = r.dir
            play(r, program, workdir)
    except router.Unavailable as why:
        print("FAIL: the home router cannot be made here: %s" % why)
        return 1
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
