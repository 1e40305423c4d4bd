# Sourced by the tests that play a game with real X events.
# qz_player_window <pid>: prints the id of the player's window once it appears (up to 60 s: a sanitized player on a loaded machine is slow to start);
# otherwise stops the player, prints its log (log.txt) and exits the test with a failure.
qz_player_window() {
  local pid=$1 window=""
  for _ in $(seq 600); do
    window=$(xdotool search --all --pid "$pid" --name '^Quazel' 2>/dev/null | head -n1)
    [ -n "$window" ] && break
    sleep 0.1
  done
  if [ -z "$window" ]; then
    kill "$pid" 2>/dev/null
    cat log.txt >&2
    echo "the player's window never appeared" >&2
    exit 1
  fi
  echo "$window"
}
