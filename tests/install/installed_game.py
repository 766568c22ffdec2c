#!/usr/bin/env python3
"""The installed game on a private X server, played by a user who may not write its directory.

The build is installed into a temporary prefix owned by root, with an old option.dat in
share/gronka asking for 640 x 480. The game is started as the user nobody (uid 65534) from that
user's home directory, which holds a `data` folder of its own (not the game's), with
XDG_CONFIG_HOME pointing into that home:
  - it works in P/share/gronka and opens at 640 x 480: it found its own data, not the home's,
    and read the old file;
  - the config screen's quality is changed and left, and "QUIT" chosen: exit code 1, and the
    settings are in $XDG_CONFIG_HOME/gronka/option.dat (00 00 01 01), the old file untouched;
  - started again with the old file back at 320 x 240, it opens at 640 x 480 from the new file;
    a right click ends it with exit code 1.
Run by another user than root, the game runs as that user, with share/gronka made read-only.

Usage: installed_game.py CMAKE BUILD_DIR
Needs Xvfb, xdotool, xwd and xwininfo.
"""

import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from install_tree import install  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import xserver  # noqa: E402

NOBODY = 65534
failures = []


def check(condition, what):
    print(("ok:   " if condition else "FAIL: ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


class Game:
    def __init__(self, program, display, config_home):
        start = os.path.dirname(config_home)
        self.display = display
        self.env = {"PATH": "/usr/bin:/bin", "DISPLAY": display, "SDL_VIDEODRIVER": "x11",
                    "HOME": os.path.dirname(config_home), "XDG_CONFIG_HOME": config_home}
        user = {"user": NOBODY, "group": NOBODY, "extra_groups": []} if os.geteuid() == 0 else {}
        self.proc = subprocess.Popen([program], cwd=start, env=self.env, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE, **user)
        self.window = None

    def x(self, *args):
        return subprocess.run(list(args), env={**os.environ, "DISPLAY": self.display},
                              capture_output=True, timeout=10)

    def find_window(self, timeout=30):
        deadline = time.time() + timeout
        while time.time() < deadline and self.proc.poll() is None:
            ids = self.x("xdotool", "search", "--onlyvisible", "--pid", str(self.proc.pid),
                         "--name", "^GRONKA").stdout.split()
            if ids:
                self.window = ids[-1].decode()
                return True
            time.sleep(0.2)
        return False

    def size(self):
        values = {}
        for line in self.x("xwininfo", "-id", self.window).stdout.decode().splitlines():
            key, _, value = line.strip().partition(":")
            values[key.strip()] = value.strip()
        return int(values.get("Width", 0)), int(values.get("Height", 0))

    def wait_for_menu(self, timeout=40):
        """Ctrl held to hurry the opening scene, until the picture stays the same for 1.5 s."""
        self.x("xdotool", "windowfocus", self.window)
        self.x("xdotool", "keydown", "Control_L")
        try:
            last, same = None, 0
            deadline = time.time() + timeout
            while time.time() < deadline and self.proc.poll() is None:
                now = hashlib.md5(self.x("xwd", "-id", self.window, "-silent").stdout).digest()
                same = same + 1 if now == last else 0
                if same >= 3:
                    return True
                last = now
                time.sleep(0.5)
            return False
        finally:
            self.x("xdotool", "keyup", "Control_L")

    def keys(self, *names):
        # Each held for a while: a press and release within one pass of a menu loop would be lost.
        for name in names:
            self.x("xdotool", "windowfocus", self.window)
            self.x("xdotool", "keydown", name)
            time.sleep(0.15)
            self.x("xdotool", "keyup", name)
            time.sleep(0.2)

    def wait_exit(self, timeout=10):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        errors = self.proc.stderr.read().decode()
        if errors:
            print("the game said: " + errors.strip())


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def write_old_file(game_dir, data):
    os.chmod(game_dir, 0o755)
    with open(os.path.join(game_dir, "option.dat"), "wb") as f:
        f.write(data)
    os.chmod(game_dir, 0o555)


def play(prefix, display, config_home, game_dir=None, program=None):
    game_dir = game_dir or os.path.join(prefix, "share", "gronka")
    program = program or os.path.join(prefix, "bin", "gronka")
    home = os.path.dirname(config_home)
    old = os.path.join(game_dir, "option.dat")
    new = os.path.join(config_home, "gronka", "option.dat")
    write_old_file(game_dir, bytes([0, 0, 1, 0]))

    game = Game(program, display, config_home)
    try:
        if not check(game.find_window(), "the installed game's window appears"):
            return
        check(game.size() == (640, 480), "640 x 480 from the old option.dat (%d x %d)"
              % game.size())
        if not check(game.wait_for_menu(), "the title menu stands"):
            return
        # (While the models load it works in data/; on the menu it is back.)
        check(os.path.realpath("/proc/%d/cwd" % game.proc.pid) == os.path.realpath(game_dir),
              "started from a directory with a data folder, it works in its own directory")
        # Down to CONFIG, in; up from EXIT to QUALITY, change it; down to EXIT, out; QUIT.
        game.keys("g", "z", "t", "z", "g", "z")
        time.sleep(0.5)
        game.keys("g", "g", "z")
        code = game.wait_exit()
        check(code == 1, "QUIT ends the game with exit code 1 (%s)" % code)
        check(read(new) == bytes([0, 0, 1, 1]),
              "the settings were saved in $XDG_CONFIG_HOME/gronka/option.dat (%s)"
              % (read(new).hex() if read(new) is not None else "missing"))
        check(read(old) == bytes([0, 0, 1, 0]), "the old option.dat is untouched")
        check(sorted(os.listdir(game_dir)) == ["data", "option.dat", "pal.bmp"],
              "nothing else was written into the game's directory")
        check(sorted(os.listdir(home)) == ["config", "data"],
              "nothing was written where it was started (%s)" % sorted(os.listdir(home)))
    finally:
        game.close()

    write_old_file(game_dir, bytes([0, 0, 0, 0]))
    game = Game(program, display, config_home)
    try:
        if not check(game.find_window(), "the window appears again"):
            return
        check(game.size() == (640, 480), "640 x 480 from the new file, not the old (%d x %d)"
              % game.size())
        game.x("xdotool", "mousemove", "--window", game.window, "160", "120", "click", "3")
        code = game.wait_exit()
        check(code == 1, "a right click ends it with exit code 1 (%s)" % code)
    finally:
        game.close()


def main():
    """installed_game.py CMAKE BUILD_DIR: installs the build into a temporary prefix first;
    installed_game.py --system PROGRAM: the game a package installed (PROGRAM: /usr/bin/gronka),
    its directory left as it was found."""
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    for tool in ("Xvfb", "xdotool", "xwd", "xwininfo"):
        if not shutil.which(tool):
            print("FAIL: %s is not installed" % tool)
            return 1
    system = sys.argv[1] == "--system"
    if system:
        program = os.path.realpath(sys.argv[2])
        prefix = os.path.dirname(os.path.dirname(program))
        game_dir = os.path.join(prefix, "share", "gronka")
        if not check(os.path.isdir(game_dir), "the package installed %s" % game_dir):
            return 1
    else:
        try:
            prefix = install(sys.argv[1], os.path.abspath(sys.argv[2]))
        except RuntimeError as error:
            check(False, str(error))
            return 1
        program, game_dir = os.path.join(prefix, "bin", "gronka"), None
    home = tempfile.mkdtemp(prefix="gronka-home-")
    # The player's own "data" folder, which an installed game must not take for its own.
    os.mkdir(os.path.join(home, "data"))
    with open(os.path.join(home, "data", "my.x"), "w") as f:
        f.write("not a model\n")
    if os.geteuid() == 0:
        for path in (home, os.path.join(home, "data"), os.path.join(home, "data", "my.x")):
            os.chown(path, NOBODY, NOBODY)
    try:
        # -ac: the game runs as another user, who could not read this user's X authority.
        with xserver.xvfb("-ac") as display:
            play(prefix, display, os.path.join(home, "config"), game_dir, program)
    finally:
        if system:
            os.chmod(game_dir, 0o755)
            try:
                os.remove(os.path.join(game_dir, "option.dat"))
            except OSError:
                pass
        else:
            os.chmod(os.path.join(prefix, "share", "gronka"), 0o755)
            shutil.rmtree(prefix, ignore_errors=True)
        shutil.rmtree(home, ignore_errors=True)
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
