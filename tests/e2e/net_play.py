#!/usr/bin/env python3
"""Two real game windows play over the loopback address under Xvfb, the way two people would.

1. A host waits on the title menu; a joiner connects and the match begins on both at once; Esc
   pressed on the joiner's keyboard takes both back to the title menu.
2. START on both begins a second match; the host's process is stopped, so the joiner stalls
   waiting for its keys: the joiner's window still answers, and a right click ends it at once.
   The host, let go again, shows the title menu with the other player gone and waits for the
   next one.
3. A new joiner connects to the same host and a match begins at once; the joiner is stopped, the host
   stalls, and Pause on the host's keyboard ends it at once.

Usage: net_play.py PATH_TO_GRONKA [SCREENSHOT_DIR]
The binary's directory must hold data/ and pal.bmp. Needs Xvfb, xdotool, xwd and xwininfo.
"""

import os
import signal
import socket
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import frontend_walk as walk  # noqa: E402

check = walk.check


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def in_match(s):
    return (s.count((8, 8, 148, 20), walk.LIFE, 1) > 1000
            and s.count((168, 8, 308, 20), walk.LIFE, 1) > 1000)


def on_menu(s):
    return walk.is_menu(1, 0)(s)


def open_window(game, left, what):
    if not check(game.find_window(), what + ": the window appears"):
        return False
    # Side by side, so that neither covers the other's picture.
    game.x("xdotool", "windowmove", game.window, str(left), "0")
    return True


def open_host(game):
    if not open_window(game, 0, "host"):
        return False
    game.x("xdotool", "keydown", "Control_L")  # the opening scene runs fast
    menu = game.wait_for(on_menu, 30, None)
    game.x("xdotool", "keyup", "Control_L")
    return check(menu is not None and on_menu(menu), "host: the title menu appears")


def start_match(host, join, what, press_start=True):
    if press_start:
        host.key("z")
        join.key("z")
    ok = True
    for game in (host, join):
        shot = game.wait_for(in_match, 30, what)
        ok = check(shot is not None and in_match(shot),
                   "%s: the match is on in the %s's window" % (what, game.label)) and ok
    return ok


def still(game, seconds):
    """True when the window's picture does not change for `seconds`."""
    first = game.shot()
    time.sleep(seconds)
    return game.shot().pixels == first.pixels


def run(binary, display, workdir, shots_dir):
    port = str(free_udp_port())
    host = walk.Game(binary, display, workdir, shots_dir, "host", ["--host", port, "--no-upnp"])
    join = second = None

    def joiner(label):
        game = walk.Game(binary, display, workdir, shots_dir, label, ["--join", "127.0.0.1:" + port])
        return game, open_window(game, 400, label)

    try:
        if not open_host(host):
            return
        join, ok = joiner("joiner")
        if not ok:
            return
        # 1. Esc on one keyboard ends the match on both machines.
        if not start_match(host, join, "first-match", press_start=False):
            return
        time.sleep(1)
        join.key("Escape")
        for game in (host, join):
            shot = game.wait_for(on_menu, 10, "after-esc")
            check(shot is not None and on_menu(shot),
                  "Esc on the joiner's keyboard: the %s is back on the title menu" % game.label)

        # 2. A stall: the host stops answering; the joiner's window still answers.
        if not start_match(host, join, "second-match"):
            return
        os.kill(host.proc.pid, signal.SIGSTOP)
        time.sleep(0.5)
        check(still(join, 1.0), "the joiner stalls while the host is stopped: its picture stands")
        join.x("xdotool", "mousemove", "--window", join.window, "100", "100", "click", "3")
        code = join.wait_exit(5)
        check(code == 1, "a right click ends the stalled joiner with exit code 1 (%s)" % code)
        os.kill(host.proc.pid, signal.SIGCONT)
        shot = host.wait_for(on_menu, 10, "other-left")
        check(shot is not None and on_menu(shot), "the host goes back to the title menu")

        # 3. The next player joins the same host; a stall there, and Pause ends the host.
        second, ok = joiner("joiner2")
        if not ok:
            return
        if not start_match(host, second, "third-match", press_start=False):
            return
        os.kill(second.proc.pid, signal.SIGSTOP)
        time.sleep(0.5)
        check(still(host, 1.0), "the host stalls while the joiner is stopped: its picture stands")
        host.key("Pause")
        code = host.wait_exit(5)
        check(code == 1, "Pause ends the stalled host with exit code 1 (%s)" % code)
        os.kill(second.proc.pid, signal.SIGCONT)
        host_err = host.proc.stderr.read().decode()
        check("THE OTHER PLAYER LEFT" in host_err,
              "the host was told that the first joiner left: " + host_err.strip()[:300])
        check("Sanitizer" not in host_err and "runtime error" not in host_err,
              "nothing reported by the sanitizers")
    finally:
        for game in (host, join, second):
            if game is not None:
                try:
                    os.kill(game.proc.pid, signal.SIGCONT)
                except ProcessLookupError:
                    pass
                game.close()


if __name__ == "__main__":
    sys.exit(walk.run_all(__doc__, "gronka-net-play-", [run]))
