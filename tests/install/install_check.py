#!/usr/bin/env python3
"""Installs the build into a temporary prefix and checks what lands where.

  P/bin/gronka                              the program
  P/share/gronka/data/*                     the models and the window icon, as in the source's data/
  P/share/gronka/pal.bmp                    the palette
  P/share/applications/gronka.desktop       the desktop entry, naming the program and the icon
  P/share/icons/hicolor/NxN/apps/gronka.png the icon, a sound N x N PNG, for N = 16 ... 256
  P/share/metainfo/ID.metainfo.xml          the AppStream metainfo, launching the desktop entry
  P/share/man/man6/gronka.6.gz              the manual page, naming every option of --help
  P/share/doc/gronka/copyright              the licence

The desktop entry and the metainfo are also put through desktop-file-validate and
`appstreamcli validate --no-net` (a missing validator is a failure: scripts/test installs them),
and the project's version in CMake, `gronka --version`, the metainfo's newest release and the
manual page must agree.

Usage: install_check.py CMAKE BUILD_DIR     (GRONKA_SOURCE_DIR: the repository, else ../..)
"""

import configparser
import gzip
import os
import shutil
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET
import zlib

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from install_tree import install  # noqa: E402

ICON_SIZES = (16, 32, 48, 64, 128, 256)
failures = []


def check(condition, what):
    print(("ok:   " if condition else "FAIL: ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def files_under(top):
    found = set()
    for dirpath, _, names in os.walk(top):
        for name in names:
            found.add(os.path.relpath(os.path.join(dirpath, name), top))
    return found


def same_bytes(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        return fa.read() == fb.read()


def png_problem(path, size):
    """What is wrong with `path` as a size x size RGBA PNG, or None."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return "not a PNG"
    pos, chunks, idat = 8, [], b""
    while pos + 12 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        crc = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])[0]
        if len(body) != length or zlib.crc32(kind + body) & 0xFFFFFFFF != crc:
            return "chunk %r damaged" % kind
        chunks.append(kind)
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            if (width, height) != (size, size):
                return "%d x %d" % (width, height)
            if (depth, colour) != (8, 6):
                return "not 8-bit RGBA"
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    if not chunks or chunks[0] != b"IHDR" or chunks[-1] != b"IEND":
        return "chunks out of order"
    try:
        raw = zlib.decompress(idat)
    except zlib.error:
        return "pixel data does not inflate"
    if len(raw) != size * (1 + 4 * size):
        return "pixel data of %d bytes" % len(raw)
    return None


def validate(tool, args, what):
    if not check(shutil.which(tool) is not None, "%s is installed to validate %s" % (tool, what)):
        return
    result = subprocess.run([tool] + args, capture_output=True, text=True)
    check(result.returncode == 0,
          "%s accepts %s%s" % (tool, what, "" if result.returncode == 0 else
                               ":\n" + result.stdout + result.stderr))


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    cmake, build = sys.argv[1], os.path.abspath(sys.argv[2])
    source = os.environ.get("GRONKA_SOURCE_DIR") or os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..")
    try:
        prefix = install(cmake, build)
    except RuntimeError as error:
        check(False, str(error))
        return 1
    version = None
    with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as f:
        for line in f:
            if line.startswith("CMAKE_PROJECT_VERSION:"):
                version = line.strip().split("=", 1)[1]
    check(version is not None, "the build names the project's version (%s)" % version)
    try:
        check_tree(prefix, source, version)
    finally:
        shutil.rmtree(prefix, ignore_errors=True)
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


def check_tree(prefix, source, version):
    program = os.path.join(prefix, "bin", "gronka")
    with open(program, "rb") as f:
        check(f.read(4) == b"\x7fELF" and os.access(program, os.X_OK),
              "bin/gronka is an executable program")
    said = subprocess.run([program, "--version"], capture_output=True, text=True, timeout=30)
    check(said.returncode == 0 and said.stdout == "gronka %s\n" % version,
          "gronka --version says gronka %s (%r)" % (version, said.stdout))

    # The manual page: the version, and every option --help lists.
    manual = os.path.join(prefix, "share", "man", "man6", "gronka.6.gz")
    if check(os.path.isfile(manual), "share/man/man6/gronka.6.gz"):
        with gzip.open(manual, "rt", encoding="utf-8") as f:
            page = f.read()
        title = [line for line in page.splitlines() if line.startswith(".TH ")]
        check(len(title) == 1 and '"gronka %s"' % version in title[0],
              "the manual page is of version %s (%s)" % (version, title))
        listed = subprocess.run([program, "--help"], capture_output=True, text=True, timeout=30)
        options = [word for line in listed.stdout.splitlines() if line.startswith("  --")
                   for word in line.split()[:1]]
        text = page.replace("\\-", "-")
        missing = [option for option in options if option not in text]
        check(options and not missing, "the manual page names every option of --help (missing: %s)"
              % ", ".join(missing))
        if shutil.which("groff"):
            result = subprocess.run(["groff", "-man", "-t", "-ww", "-z"], input=page,
                                    capture_output=True, text=True)
            check(result.returncode == 0 and not result.stderr,
                  "groff reads the manual page without a warning%s" % (
                      "" if not result.stderr else ": " + result.stderr))
        else:
            check(False, "groff is installed to read the manual page")
    licence = os.path.join(prefix, "share", "doc", "gronka", "copyright")
    check(os.path.isfile(licence) and same_bytes(licence, os.path.join(source, "LICENSE")),
          "share/doc/gronka/copyright is the licence")

    # The game's directory: exactly the source's data, the palette beside data/.
    game = os.path.join(prefix, "share", "gronka")
    expected = {}
    for name in sorted(os.listdir(os.path.join(source, "data"))):
        where = name if name == "pal.bmp" else os.path.join("data", name)
        expected[where] = os.path.join(source, "data", name)
    installed = files_under(game)
    check(installed == set(expected),
          "share/gronka holds data/*.x, data/grk.bmp and pal.bmp, nothing else (%s)"
          % ", ".join(sorted(installed ^ set(expected))))
    check(all(same_bytes(os.path.join(game, where), original)
              for where, original in expected.items() if where in installed),
          "every installed data file is the source's")
    check("data/my.x" in installed and "data/grk.bmp" in installed,
          "the craft model and the window icon are among them")

    # The desktop entry.
    desktop = os.path.join(prefix, "share", "applications", "gronka.desktop")
    if check(os.path.isfile(desktop), "share/applications/gronka.desktop"):
        entry = configparser.ConfigParser(interpolation=None)
        entry.optionxform = str
        entry.read(desktop, encoding="utf-8")
        values = entry["Desktop Entry"]
        check(values.get("Type") == "Application" and values.get("Exec", "").split()[:1] ==
              ["gronka"], "it starts the program gronka")
        check(values.get("Icon") == "gronka", "its icon is named gronka")
        check("Game" in values.get("Categories", "").split(";"), "it is listed among games")
        validate("desktop-file-validate", [desktop], "the desktop entry")

    # The icons.
    for size in ICON_SIZES:
        icon = os.path.join(prefix, "share", "icons", "hicolor", "%dx%d" % (size, size), "apps",
                            "gronka.png")
        problem = png_problem(icon, size) if os.path.isfile(icon) else "missing"
        check(problem is None, "icon %dx%d%s" % (size, size, ": " + problem if problem else ""))

    # The metainfo.
    metainfo_dir = os.path.join(prefix, "share", "metainfo")
    names = os.listdir(metainfo_dir) if os.path.isdir(metainfo_dir) else []
    if check(len(names) == 1 and names[0].endswith(".metainfo.xml"),
             "one metainfo file in share/metainfo (%s)" % names):
        metainfo = os.path.join(metainfo_dir, names[0])
        root = ET.parse(metainfo).getroot()
        component_id = root.findtext("id")
        check(names[0] == "%s.metainfo.xml" % component_id,
              "the file is named after the component id %s" % component_id)
        check(root.findtext("launchable[@type='desktop-id']") == "gronka.desktop",
              "it launches gronka.desktop")
        check(root.findtext("provides/binary") == "gronka", "it provides the program gronka")
        check(root.findtext("project_license") == "MIT", "the project's licence is MIT")
        releases = root.findall("releases/release")
        check(releases and releases[0].get("version") == version,
              "its newest release is %s (%s)" % (version, [r.get("version") for r in releases]))
        validate("appstreamcli", ["validate", "--no-net", metainfo], "the metainfo")


if __name__ == "__main__":
    sys.exit(main())
