#!/bin/bash
# End-to-end check of a window the player enlarges, on a private X server: the window opens with a
# 320 x 240 drawing area; made 1000 x 700, it shows the same picture at twice the size, centred,
# each pixel a 2 x 2 block, with black around it; a right click on the black border ends the game
# with exit code 1.
# Usage: window_scale.sh PATH/TO/gronka [SCREENSHOT_DIR]
set -u

program=$(readlink -f "${1:?usage: window_scale.sh PATH/TO/gronka [SCREENSHOT_DIR]}")
gamedir=$(dirname "$program")
shots=${2:-}

if [ -z "${GRONKA_E2E_X:-}" ]; then
  for tool in xvfb-run xdotool xwininfo import python3; do
    command -v "$tool" >/dev/null || { echo "window_scale: $tool is missing"; exit 1; }
  done
  GRONKA_E2E_X=1 exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" "$0" "$@"
fi

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

size_of() {
  xwininfo -id "$1" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }'
}

(cd "$gamedir" && exec "$program") &
pid=$!
if ! window=$(find_window "$pid"); then
  fail "no window appeared"
  kill "$pid" 2>/dev/null
  exit 1
fi
[ "$(size_of "$window")" = "320x240" ] && pass "opens with a 320x240 drawing area" ||
  fail "opens with a $(size_of "$window") drawing area"
wait_still "$window" || fail "the title menu did not come"
import -silent -window "$window" -depth 8 "rgb:$work/small.rgb"

# Into the corner first, so that the whole grown window stays on the screen.
xdotool windowmove --sync "$window" 0 0 2>/dev/null || xdotool windowmove "$window" 0 0
xdotool windowsize --sync "$window" 1000 700 2>/dev/null || xdotool windowsize "$window" 1000 700
for _ in $(seq 50); do
  [ "$(size_of "$window")" = "1000x700" ] && break
  sleep 0.1
done
[ "$(size_of "$window")" = "1000x700" ] && pass "the window grows to 1000x700" ||
  fail "the window is $(size_of "$window") after growing it"
wait_still "$window" || fail "the enlarged picture does not settle"
import -silent -window "$window" -depth 8 "rgb:$work/large.rgb"
if [ -n "$shots" ]; then
  mkdir -p "$shots"
  import -silent -window "$window" "$shots/window_scale_1000x700.png"
fi

python3 - "$work/small.rgb" "$work/large.rgb" <<'EOF' && pass "the picture is shown twice as large, centred, black around" || fail "the enlarged picture is wrong"
import sys
small = open(sys.argv[1], "rb").read()
large = open(sys.argv[2], "rb").read()
W, H, w, h, scale, left, top = 1000, 700, 320, 240, 2, 180, 110
if len(small) != w * h * 3 or len(large) != W * H * 3:
    print("screenshot sizes", len(small), len(large)); sys.exit(1)
def big(x, y): return large[3 * (y * W + x):3 * (y * W + x) + 3]
def little(x, y): return small[3 * (y * w + x):3 * (y * w + x) + 3]
black = bytes(3)
border = sum(1 for y in range(H) for x in range(W)
             if not (left <= x < left + w * scale and top <= y < top + h * scale) and big(x, y) != black)
wrong = sum(1 for y in range(h * scale) for x in range(w * scale)
            if big(left + x, top + y) != little(x // scale, y // scale))
lit = sum(1 for y in range(h) for x in range(w) if little(x, y) != black)
print(f"border pixels not black: {border}; picture pixels differing: {wrong}; lit pixels: {lit}")
sys.exit(0 if border == 0 and wrong == 0 and lit > 1000 else 1)
EOF

xdotool mousemove --window "$window" 20 20 click 3
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then
  kill "$pid"
  wait "$pid" 2>/dev/null
  fail "a right click on the border did not end the game"
else
  wait "$pid"
  code=$?
  [ "$code" = 1 ] && pass "a right click on the border: exit 1" || fail "right click: exit $code"
fi

[ "$failures" -eq 0 ] && echo "window_scale: all passed" || echo "window_scale: $failures failed"
[ "$failures" -eq 0 ]
