#!/usr/bin/env python3
"""Walks the real game under Xvfb the way a player would, and checks what the screen shows.

First run, 320 x 240 with no option.dat: the opening scene, the title menu and its cursor, a match
(left with Esc), the config screen (the quality changed to "WIREFRAME"), and "QUIT" (exit code 1,
option.dat 00 00 00 01). Second run, 640 x 480: the menu drawn at double size, then the config
screen's "SCREEN" toggled once, which saves option.dat and ends the game with exit code 1.

Usage: frontend_walk.py PATH_TO_GRONKA [SCREENSHOT_DIR]
The binary's directory must hold data/ and pal.bmp. Needs Xvfb, xdotool and xwd; screenshots are
also written as PNG files when ImageMagick's convert is available.
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xserver  # noqa: E402

# Colours as the screen shows them, (red, green, blue).
TITLE = (200, 200, 255)
CREDIT = (255, 200, 255)
HIGHLIGHT = (255, 200, 200)
WHITE = (255, 255, 255)
LIFE = (255, 0, 0)

# Regions on the 320 x 240 overlay, (left, top, right, bottom), right and bottom excluded.
TITLE_AREA = (0, 10, 320, 100)
CREDIT_AREA = (60, 208, 320, 236)
ITEM_AREA = [(150, 110 + 28 * i, 280, 134 + 28 * i) for i in range(3)]
ROW_LABEL_AREA = [(32, 100 + 32 * r, 176, 124 + 32 * r) for r in range(4)]

failures = []


def check(condition, what):
    print(("ok:   " if condition else "FAIL: ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


class Shot:
    """A screenshot of the game's window: width, height and rows of (r, g, b)."""

    def __init__(self, width, height, pixels):
        self.width, self.height, self.pixels = width, height, pixels

    def count(self, area, colour, scale):
        left, top, right, bottom = (v * scale for v in area)
        n = 0
        for y in range(max(top, 0), min(bottom, self.height)):
            row = self.pixels[y]
            for x in range(max(left, 0), min(right, self.width)):
                if row[x] == colour:
                    n += 1
        return n

    def count_not_black(self):
        return sum(1 for row in self.pixels for p in row if p != (0, 0, 0))

    def differing_outside(self, other, areas, scale):
        """Pixels that differ between two shots outside the given overlay areas."""
        inside = set()
        for left, top, right, bottom in areas:
            for y in range(top * scale, bottom * scale):
                for x in range(left * scale, right * scale):
                    inside.add((x, y))
        n = 0
        for y in range(self.height):
            for x in range(self.width):
                if (x, y) not in inside and self.pixels[y][x] != other.pixels[y][x]:
                    n += 1
        return n


def parse_xwd(data):
    header = struct.unpack(">25I", data[:100])
    header_size, _, pixmap_format, _, width, height = header[:6]
    byte_order, bits_per_pixel, bytes_per_line = header[7], header[11], header[12]
    masks = header[14:17]
    ncolours = header[19]
    if pixmap_format != 2 or bits_per_pixel not in (24, 32):
        raise RuntimeError("unexpected xwd format %d / %d bits" % (pixmap_format, bits_per_pixel))
    offset = header_size + 12 * ncolours
    step = bits_per_pixel // 8
    endian = "little" if byte_order == 0 else "big"
    shifts = [(m & -m).bit_length() - 1 for m in masks]
    pixels = []
    for y in range(height):
        line = data[offset + y * bytes_per_line: offset + y * bytes_per_line + width * step]
        row = []
        for x in range(0, width * step, step):
            v = int.from_bytes(line[x:x + step], endian)
            row.append(tuple((v & m) >> s for m, s in zip(masks, shifts)))
        pixels.append(row)
    return Shot(width, height, pixels)


class Game:
    def __init__(self, binary, display, workdir, shots_dir, label, args=()):
        self.display, self.shots_dir, self.label = display, shots_dir, label
        self.env = dict(os.environ, DISPLAY=display, SDL_VIDEODRIVER="x11")
        # Under the sanitizers: what the system's message bus library keeps at exit is not ours.
        suppressions = os.path.join(workdir, "lsan.supp")
        with open(suppressions, "w") as f:
            f.write("leak:libdbus-1.so\n")
        self.env["LSAN_OPTIONS"] = "suppressions=" + suppressions
        self.proc = subprocess.Popen([binary, *args], cwd=workdir, env=self.env,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.window = None
        self.shot_number = 0

    def x(self, *args, timeout=10):
        return subprocess.run(list(args), env=self.env, capture_output=True, timeout=timeout)

    def find_window(self, timeout=30):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if self.proc.poll() is not None:
                return False
            r = self.x("xdotool", "search", "--all", "--onlyvisible", "--pid", str(self.proc.pid),
                       "--name", "^GRONKA")
            ids = r.stdout.decode().split()
            if ids:
                self.window = ids[-1]
                self.x("xdotool", "windowfocus", self.window)
                return True
            time.sleep(0.2)
        return False

    def caption(self):
        return self.x("xdotool", "getwindowname", self.window).stdout.decode().strip()

    def size(self):
        out = self.x("xwininfo", "-id", self.window).stdout.decode()
        values = {}
        for line in out.splitlines():
            if ":" in line:
                key, _, value = line.strip().partition(":")
                values[key.strip()] = value.strip()
        return int(values.get("Width", 0)), int(values.get("Height", 0))

    def shot(self, name=None):
        r = self.x("xwd", "-id", self.window, "-silent")
        if r.returncode != 0:
            raise RuntimeError("xwd failed: " + r.stderr.decode())
        if name and self.shots_dir:
            self.shot_number += 1
            base = os.path.join(self.shots_dir, "%s-%02d-%s" % (self.label, self.shot_number, name))
            if shutil.which("convert"):
                with open(base + ".xwd", "wb") as f:
                    f.write(r.stdout)
                self.x("convert", "xwd:" + base + ".xwd", base + ".png")
                os.remove(base + ".xwd")
        return parse_xwd(r.stdout)

    def key(self, name, hold=0.15):
        # Held for a while: a press and release within one pass of a menu loop would be lost.
        # Keys go to the window under the pointer.
        self.x("xdotool", "mousemove", "--window", self.window, "10", "10")
        self.x("xdotool", "windowfocus", self.window)
        self.x("xdotool", "keydown", name)
        time.sleep(hold)
        self.x("xdotool", "keyup", name)
        time.sleep(0.15)

    def wait_for(self, predicate, timeout, name):
        deadline = time.time() + timeout
        shot = None
        while time.time() < deadline and self.proc.poll() is None:
            shot = self.shot()
            if predicate(shot):
                return self.shot(name)
            time.sleep(0.2)
        return shot

    def wait_exit(self, timeout=10):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def quiet(game):
    err = game.proc.stderr.read().decode()
    check("runtime error" not in err and "Sanitizer" not in err,
          "nothing reported on stderr" + ("" if not err else ": " + err[:2000]))


def menu_checks(game, shot, scale, highlighted, what):
    check(shot.count(TITLE_AREA, TITLE, scale) > 200 * scale * scale,
          what + ": the title in its blue-white near the top")
    check(shot.count(CREDIT_AREA, CREDIT, scale) > 20 * scale * scale,
          what + ": the credit line in pink at the bottom right")
    for i, area in enumerate(ITEM_AREA):
        lit = shot.count(area, HIGHLIGHT, scale)
        white = shot.count(area, WHITE, scale)
        if i == highlighted:
            check(lit > 30 * scale * scale and white == 0,
                  "%s: item %d highlighted (%d highlight, %d white pixels)" % (what, i, lit, white))
        else:
            check(lit == 0 and white > 30 * scale * scale,
                  "%s: item %d white (%d highlight, %d white pixels)" % (what, i, lit, white))


def is_menu(scale, highlighted):
    return lambda s: s.count(ITEM_AREA[highlighted], HIGHLIGHT, scale) > 30 * scale * scale


def first_run(binary, display, workdir, shots_dir):
    game = Game(binary, display, workdir, shots_dir, "320")
    try:
        if not check(game.find_window(), "the window appears"):
            return
        check(game.caption().startswith("GRONKA "), "caption '%s'" % game.caption())
        check(game.size() == (320, 240), "drawing area 320 x 240 (%d x %d)" % game.size())

        time.sleep(1.5)
        scene = game.shot("title-scene")
        check(scene.count_not_black() > 100, "the opening scene draws the title model")
        check(all(scene.count(a, HIGHLIGHT, 1) == 0 for a in ITEM_AREA),
              "no menu during the opening scene")

        # Ctrl fast-forwards the rest of the scene.
        game.x("xdotool", "keydown", "Control_L")
        menu = game.wait_for(is_menu(1, 0), 20, "menu")
        game.x("xdotool", "keyup", "Control_L")
        if not check(menu is not None and is_menu(1, 0)(menu), "the title menu appears"):
            return
        menu_checks(game, menu, 1, 0, "menu")

        game.key("g")
        moved = game.wait_for(is_menu(1, 1), 5, "menu-config")
        menu_checks(game, moved, 1, 1, "after down")
        check(moved.differing_outside(menu, ITEM_AREA[:2], 1) == 0,
              "moving the cursor leaves everything but the two items as it was")
        game.key("t")
        game.key("t")
        up = game.wait_for(is_menu(1, 2), 5, "menu-quit")
        menu_checks(game, up, 1, 2, "up twice from CONFIG wraps to QUIT")
        game.key("g")
        game.wait_for(is_menu(1, 0), 5, None)

        # A match: the life bars stand at the top of both halves once the intro has passed.
        game.key("z")

        def bars(s):
            return (s.count((8, 8, 148, 20), LIFE, 1) > 1000
                    and s.count((168, 8, 308, 20), LIFE, 1) > 1000)
        match = game.wait_for(bars, 10, "match")
        check(match is not None and bars(match), "a match shows both red life bars")
        game.key("Escape")
        back = game.wait_for(is_menu(1, 0), 5, "menu-after-match")
        menu_checks(game, back, 1, 0, "back from the match")

        # The config screen.
        game.key("g")
        game.wait_for(is_menu(1, 1), 5, None)
        game.key("z")

        def config_row(r):
            return lambda s: (s.count(ROW_LABEL_AREA[r], HIGHLIGHT, 1) > 30
                              and s.count(TITLE_AREA, TITLE, 1) > 200)
        config = game.wait_for(config_row(0), 5, "config")
        check(config is not None and config_row(0)(config),
              "the config screen with the heading and EXIT highlighted")
        check(all(config.count(ROW_LABEL_AREA[r], HIGHLIGHT, 1) == 0 for r in (1, 2, 3)),
              "only the EXIT row highlighted")
        game.key("t")
        quality = game.wait_for(config_row(3), 5, "config-quality")
        check(config_row(3)(quality) and quality.count(ROW_LABEL_AREA[0], HIGHLIGHT, 1) == 0,
              "up from EXIT wraps to QUALITY")
        game.key("z")
        wire = game.shot("config-wireframe")
        check(wire.count((180, 196, 320, 220), HIGHLIGHT, 1)
              > quality.count((180, 196, 320, 220), HIGHLIGHT, 1),
              "the quality value changes to the longer WIREFRAME")
        game.key("g")
        game.wait_for(config_row(0), 5, None)
        game.key("z")
        after = game.wait_for(is_menu(1, 0), 5, "menu-wireframe")
        menu_checks(game, after, 1, 0, "back from the config screen")
        check(after.differing_outside(back, ITEM_AREA + [TITLE_AREA, CREDIT_AREA], 1) > 100,
              "the menu's backdrop is drawn again in the new quality")

        game.key("g")
        game.key("g")
        game.wait_for(is_menu(1, 2), 5, None)
        game.key("z")
        code = game.wait_exit()
        check(code == 1, "QUIT ends the game with exit code 1 (%s)" % code)
        with open(os.path.join(workdir, "option.dat"), "rb") as f:
            stored = f.read()
        check(stored == bytes([0, 0, 0, 1]), "option.dat holds 00 00 00 01 (%s)" % stored.hex())
        quiet(game)
    finally:
        game.close()


def second_run(binary, display, workdir, shots_dir):
    with open(os.path.join(workdir, "option.dat"), "wb") as f:
        f.write(bytes([0, 0, 1, 0]))
    game = Game(binary, display, workdir, shots_dir, "640")
    try:
        if not check(game.find_window(), "the window appears at 640 x 480"):
            return
        check(game.size() == (640, 480), "drawing area 640 x 480 (%d x %d)" % game.size())
        game.x("xdotool", "keydown", "Control_L")
        menu = game.wait_for(is_menu(2, 0), 20, "menu")
        game.x("xdotool", "keyup", "Control_L")
        if not check(menu is not None and is_menu(2, 0)(menu), "the title menu appears"):
            return
        menu_checks(game, menu, 2, 0, "menu at 640 x 480")

        game.key("g")
        game.wait_for(is_menu(2, 1), 5, None)
        game.key("z")
        game.key("g")
        game.key("g")
        game.key("z")
        game.shot("config-screen-toggled")
        game.key("t")
        game.key("t")
        game.key("z")
        code = game.wait_exit()
        check(code == 1, "a changed screen size ends the game with exit code 1 (%s)" % code)
        with open(os.path.join(workdir, "option.dat"), "rb") as f:
            stored = f.read()
        check(stored == bytes([0, 0, 0, 0]), "option.dat holds 00 00 00 00 (%s)" % stored.hex())
        quiet(game)
    finally:
        game.close()


def run_all(doc, prefix, runs):
    """The command line of an end-to-end script: each run gets the binary, a private X server and
    a working directory of its own (so that the runs' option.dat is not the player's)."""
    if len(sys.argv) < 2:
        print(doc)
        return 2
    binary = os.path.abspath(sys.argv[1])
    home = os.path.dirname(binary)
    shots_dir = sys.argv[2] if len(sys.argv) > 2 else None
    if shots_dir:
        os.makedirs(shots_dir, exist_ok=True)
    for tool in ("Xvfb", "xdotool", "xwd", "xwininfo"):
        if not shutil.which(tool):
            print("FAIL: %s is not installed" % tool)
            return 1

    workdir = tempfile.mkdtemp(prefix=prefix)
    try:
        with xserver.xvfb() as display:
            os.symlink(os.path.join(home, "data"), os.path.join(workdir, "data"))
            os.symlink(os.path.join(home, "pal.bmp"), os.path.join(workdir, "pal.bmp"))
            for run in runs:
                run(binary, display, workdir, shots_dir)
    finally:
        shutil.rmtree(workdir, ignore_errors=True)
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(run_all(__doc__, "gronka-walk-", [first_run, second_run]))
