# Sourced by the tests that play a game with real X events.
# qz_player_window <pid>: prints the id of the player's window once it appears (up to 60 s: a sanitized player on a loaded machine is slow to start);
# otherwise stops the player, prints its log (log.txt), whether it was still running and then
# its threads' stacks (with gdb, when installed), and exits the test with a failure.
qz_player_window() {
  local pid=$1 window=""
  for _ in $(seq 600); do
    window=$(xdotool search --all --pid "$pid" --name '^Quazel' 2>/dev/null | head -n1)
    [ -n "$window" ] && break
    sleep 0.1
  done
  if [ -z "$window" ]; then
    if kill -0 "$pid" 2>/dev/null; then
      echo "the player is still running; its windows on $DISPLAY:" >&2
      xdotool search --all --pid "$pid" --name '' 2>&1 | head -n5 >&2
      command -v gdb >/dev/null && gdb -batch -p "$pid" -ex "thread apply all bt 12" 2>/dev/null | grep -E '^(Thread|#)' >&2
    else
      echo "the player has ended" >&2
    fi
    kill "$pid" 2>/dev/null
    cat log.txt >&2
    echo "the player's window never appeared" >&2
    exit 1
  fi
  echo "$window"
}
