# Shared by the end-to-end shell tests: counting results, finding the program's window, waiting for
# a still picture and for the program's end. Sourced, not run.

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# Waits up to 30 s for the program's window; prints its id.
find_window() {
  local pid=$1 id
  for _ in $(seq 300); do
    id=$(xdotool search --all --onlyvisible --pid "$pid" --name '^GRONKA ' 2>/dev/null | head -1) ||
      true
    [ -n "$id" ] && { echo "$id"; return 0; }
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# Waits up to 10 s for the program to end and sets `code` to its exit code (or "running"). It
# runs in this shell, not in a command substitution, which could not wait for the program.
wait_for_exit() {
  local pid=$1
  for _ in $(seq 100); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"
      code=$?
      return
    fi
    sleep 0.1
  done
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  code=running
}

# Waits up to 40 s until the window's picture stays the same for 1.5 s (after the opening scene:
# the title menu stands).
wait_still() {
  local window=$1 last="" same=0 now
  for _ in $(seq 80); do
    now=$(import -silent -window "$window" rgb:- 2>/dev/null | md5sum)
    if [ "$now" = "$last" ]; then
      same=$((same + 1))
      [ "$same" -ge 3 ] && return 0
    else
      same=0
      last=$now
    fi
    sleep 0.5
  done
  return 1
}
