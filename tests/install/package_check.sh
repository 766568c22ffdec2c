#!/bin/bash
# The Debian package as a player's machine takes it (as root): `cpack -G DEB` in BUILD_DIR, the
# package's fields, `dpkg -i`, the installed program's version and manual page, the installed game
# played by an unprivileged user from a directory that holds a data folder of its own
# (installed_game.py --system), then `dpkg --purge`, after which none of its files is left.
#
# Usage: package_check.sh BUILD_DIR      The last line says what happened.
set -u
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
failures=0
check() {  # check WHAT COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok:   $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}

if dpkg-query -W -f='${Status}' gronka 2>/dev/null | grep -q 'install ok installed'; then
  echo "a package gronka is installed already: left as it is, nothing checked"
  exit 1
fi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
rm -f "$build"/gronka_*.deb
if ! (cd "$build" && cpack -G DEB >cpack.log 2>&1); then
  cat "$build/cpack.log"
  echo "cpack -G DEB failed"
  exit 1
fi
deb=$(ls "$build"/gronka_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "$(basename "$deb"): Depends: $depends"
check "the package is version $version" test "$(dpkg-deb -f "$deb" Version)" = "$version"
for needed in fonts-ipafont-mincho libsdl2 libenet libfreetype libfontconfig; do
  check "the package depends on $needed" grep -q "$needed" <<<"$depends"
done

if ! dpkg -i "$deb"; then
  echo "dpkg -i failed"
  exit 1
fi
files=$(dpkg -L gronka)
check "gronka --version says $version" test "$(gronka --version)" = "gronka $version"
check "the manual page is installed" test -f /usr/share/man/man6/gronka.6.gz
page=$(MANWIDTH=100 man -P cat gronka 2>/dev/null)
check "man gronka shows the manual" grep -q "EXIT STATUS" <<<"$page"
check "the licence is installed" test -f /usr/share/doc/gronka/copyright
check "the installed game plays from a directory with its own data folder" \
  python3 "$here/installed_game.py" --system /usr/bin/gronka

dpkg --purge gronka >/dev/null
left=""
while IFS= read -r path; do
  [ -f "$path" ] || [ -L "$path" ] && left+=" $path"
done <<<"$files"
[ -d /usr/share/gronka ] && left+=" /usr/share/gronka/"
check "dpkg --purge leaves nothing behind${left:+ (left:$left)}" test -z "$left"
rm -f "$deb" "$build/cpack.log"

if [ "$failures" -eq 0 ]; then
  echo "$(basename "$deb"): built, installed, played and removed"
else
  echo "$failures package check(s) failed"
  exit 1
fi
