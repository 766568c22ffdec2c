#!/usr/bin/env python3
"""How soon a key shows on the screen of the player who pressed it: in local play, and in the
joiner's window of a game over the network joined through a relay of 100 ms round trip (50 ms each
way), both under Xvfb. The key is player 2's camera key (the Down arrow), which changes the right
view at once; each press is timed from the key-down to the first screenshot of the window whose
right view differs from the one before by far more than the frames before the press did. Prints
the median and the spread of several presses for each, and as a control how often such a change is
seen when no key is pressed.

Usage: key_latency.py BUILD_DIR [PRESSES]
BUILD_DIR holds gronka, gronka-relay, data/ and pal.bmp. Needs Xvfb, xdotool, xwd and xwininfo.
"""

import os
import shutil
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import frontend_walk as walk  # noqa: E402
import net_play  # noqa: E402
import xserver  # noqa: E402


def raw_shot(game):
    """The window's pixels as 32-bit words, row by row, and its width and height."""
    data = game.x("xwd", "-id", game.window, "-silent").stdout
    header = struct.unpack(">25I", data[:100])
    width, height, bytes_per_line, ncolours = header[4], header[5], header[12], header[19]
    offset = header[0] + 12 * ncolours
    words = memoryview(data[offset:offset + bytes_per_line * height]).cast("I")
    return width, height, bytes_per_line // 4, words


def difference(a, b):
    """Pixels that differ in the right view, below the life bars."""
    width, height, stride, pa = a
    pb = b[3]
    n = 0
    for y in range(height // 5, height):
        row = y * stride
        for x in range(width // 2 + 2, width):
            n += pa[row + x] != pb[row + x]
    return n


def time_presses(game, presses, key="Down"):
    """Seconds from each key-down to the first screenshot that shows it (without a key: how often
    the test sees a change that nothing caused)."""
    latencies = []
    for _ in range(presses):
        before = [raw_shot(game) for _ in range(12)]
        usual = max(difference(a, b) for a, b in zip(before, before[1:]))
        start = time.monotonic()
        if key:
            game.x("xdotool", "keydown", key)
        shots = []
        while time.monotonic() - start < 0.8:
            shots.append((time.monotonic() - start, raw_shot(game)))
        if key:
            game.x("xdotool", "keyup", key)
        previous = before[-1]
        for at, shot in shots:
            if difference(previous, shot) > max(3 * usual, 500):
                latencies.append(at)
                break
            previous = shot
        time.sleep(0.6)
    return latencies


def report(what, latencies, presses):
    if not latencies:
        print("%-40s no press showed" % what)
        return
    ms = sorted(1000 * t for t in latencies)
    print("%-40s median %4.0f ms (%s; %d of %d presses seen)" %
          (what, statistics.median(ms), ", ".join("%.0f" % v for v in ms), len(ms), presses),
          flush=True)


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    build = os.path.abspath(sys.argv[1])
    presses = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    binary = os.path.join(build, "gronka")
    workdir = tempfile.mkdtemp(prefix="gronka-latency-")
    relay = None
    games = []
    try:
        with xserver.xvfb() as display:
            os.symlink(os.path.join(build, "data"), os.path.join(workdir, "data"))
            os.symlink(os.path.join(build, "pal.bmp"), os.path.join(workdir, "pal.bmp"))
            # Local play: one window, START, then the presses.
            local = walk.Game(binary, display, workdir, None, "local", ["--mute"])
            games.append(local)
            if not net_play.open_host(local):
                return 1
            local.key("z")
            if local.wait_for(net_play.in_match, 30, None) is None:
                return 1
            time.sleep(3)  # past the intro
            local.x("xdotool", "mousemove", "--window", local.window, "10", "10")
            report("local play", time_presses(local, presses), presses)
            report("local play, no key pressed (control)", time_presses(local, presses, None),
                   presses)
            local.close()

            # Over the network: the host, the relay and the joiner.
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
                s.bind(("127.0.0.1", 0))
                port = s.getsockname()[1]
            host = walk.Game(binary, display, workdir, None, "host", ["--mute", "--host", str(port), "--no-upnp"])
            games.append(host)
            if not net_play.open_host(host):
                return 1
            relay = subprocess.Popen([os.path.join(build, "gronka-relay"), str(port), "50"],
                                     stdout=subprocess.PIPE, text=True)
            target = relay.stdout.readline().split()[-1]
            join = walk.Game(binary, display, workdir, None, "join", ["--mute", "--join", target])
            games.append(join)
            if not net_play.open_window(join, 400, "joiner"):
                return 1
            if join.wait_for(net_play.in_match, 30, None) is None:
                return 1
            time.sleep(3)
            join.x("xdotool", "mousemove", "--window", join.window, "10", "10")
            join.x("xdotool", "windowfocus", join.window)
            report("joiner, 100 ms round trip", time_presses(join, presses), presses)
    finally:
        for game in games:
            game.close()
        if relay is not None:
            relay.terminate()
            relay.wait()
        shutil.rmtree(workdir, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
