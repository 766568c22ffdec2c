#!/bin/bash
# End-to-end smoke test of the real program on a private X server:
#   - without any display it refuses to start with one line on stderr and exit code 255 (-1);
#   - its window appears with the caption "GRONKA <credit line>" and a 320 x 240 drawing area;
#   - a right click during the opening scene ends it with exit code 1;
#   - started from another directory, it works in its own; idle on the title menu it does not
#     hold a processor (the share is printed, not judged); a right click there ends it with 1;
#   - player 2's keypad keys move the menu's cursor to "QUIT" and select it: exit code 1.
# Usage: smoke.sh PATH/TO/gronka
set -u

program=$(readlink -f "${1:?usage: smoke.sh PATH/TO/gronka}")
gamedir=$(dirname "$program")

if [ -z "${GRONKA_E2E_X:-}" ]; then
  for tool in xvfb-run Xvfb xdotool xwininfo import; do
    command -v "$tool" >/dev/null || { echo "smoke: $tool is missing"; exit 1; }
  done
  GRONKA_E2E_X=1 exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp -noreset" "$0" "$@"
fi

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# 1. No display at all.
errors=$(mktemp)
(cd "$gamedir" && env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$program" 2>"$errors")
code=$?
lines=$(wc -l <"$errors")
if [ "$code" -eq 255 ] && [ "$lines" -eq 1 ]; then
  pass "without a display: exit 255, one line: $(cat "$errors")"
else
  fail "without a display: exit $code, $lines lines on stderr"; cat "$errors"
fi
rm -f "$errors"

# 2. The window, then a right click during the opening scene.
(cd "$gamedir" && exec "$program") &
pid=$!
if window=$(find_window "$pid"); then
  caption=$(xdotool getwindowname "$window")
  size=$(xwininfo -id "$window" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }')
  [[ "$caption" =~ ^GRONKA\ [^[:space:]].* ]] && pass "caption \"$caption\"" ||
    fail "caption \"$caption\""
  [ "$size" = "320x240" ] && pass "drawing area $size" || fail "drawing area $size"
  xdotool mousemove --window "$window" 160 120 click 3
  wait_for_exit "$pid"
  [ "$code" = 1 ] && pass "right click in the opening scene: exit 1" ||
    fail "right click in the opening scene: exit $code"
else
  fail "no window appeared"
  kill "$pid" 2>/dev/null
fi

# 3. From another directory, idle on the title menu, then a right click.
(cd / && exec "$program") &
pid=$!
if window=$(find_window "$pid"); then
  wait_still "$window" || fail "the title menu did not come"
  # (Asset loading works in data/ for a while; on the menu it is back.)
  [ "$(readlink -f /proc/$pid/cwd)" = "$gamedir" ] && pass "works in its own directory" ||
    fail "working directory $(readlink -f /proc/$pid/cwd)"
  before=$(cpu_ticks "$pid")
  sleep 4
  after=$(cpu_ticks "$pid")
  ticks=$(getconf CLK_TCK)
  echo "idle title menu: $(awk -v d=$((after - before)) -v t="$ticks" 'BEGIN { printf "%.1f", 100 * d / (4 * t) }')% of one core"
  xdotool mousemove --window "$window" 160 120 click 3
  wait_for_exit "$pid"
  [ "$code" = 1 ] && pass "right click on the title menu: exit 1" ||
    fail "right click on the title menu: exit $code"
else
  fail "no window appeared when started from /"
  kill "$pid" 2>/dev/null
fi

# 4. Player 2's keys on the title menu: keypad 5 twice down to "QUIT", then Left to select it.
(cd "$gamedir" && exec "$program") &
pid=$!
if window=$(find_window "$pid"); then
  wait_still "$window" || fail "the title menu did not come"
  xdotool windowfocus --sync "$window"
  xdotool key --delay 150 KP_5 KP_5 Left
  wait_for_exit "$pid"
  [ "$code" = 1 ] && pass "player 2 chose QUIT with the keypad: exit 1" ||
    fail "player 2 chose QUIT with the keypad: exit $code"
else
  fail "no window appeared"
  kill "$pid" 2>/dev/null
fi

[ "$failures" -eq 0 ] && echo "smoke: all passed" || echo "smoke: $failures failed"
[ "$failures" -eq 0 ]
