#!/usr/bin/env bash
# The demo played with real X events: xdotool presses the space bar and clicks the left button
# over the player's window, the scripts kick the ball and say so on the log.
# Usage: player_input.sh <player> <demo folder> <scratch folder>. Exit 77: skipped.
set -u
. "$(dirname "$0")/player_window.sh"
player=$1
game=$2
work=$3
[ -n "${DISPLAY:-}" ] || { echo "no display to open a window on"; exit 77; }
command -v xdotool >/dev/null || { echo "xdotool is not installed"; exit 77; }
rm -rf "$work"
mkdir -p "$work"
cp -r "$game"/. "$work"
cd "$work" || exit 1

"$player" crates.nms -r gl2 -m none -time_live 8 > log.txt 2>&1 &
pid=$!
window=$(qz_player_window "$pid") || exit 1
# Once the scene runs: the pointer over the window, a quarter across and down, then the keys.
for _ in $(seq 100); do grep -q 'Crates yard set up' log.txt && break; sleep 0.1; done
# Other tests' windows (other players among them) may open over it meanwhile: raise and
# focus it before each event.
bring_up() {
  xdotool windowraise "$window" 2>/dev/null
  xdotool windowfocus "$window" 2>/dev/null
  xdotool mousemove --window "$window" 200 150
  sleep 0.3
}
bring_up
xdotool key space
sleep 0.5
bring_up
xdotool click 1
wait "$pid"
code=$?
cat log.txt
fail=0
[ "$code" -eq 0 ] || { echo "exit code $code"; fail=1; }
for line in '[S] Yard: space bar pressed' '[S] Ball: kicked up'; do
  grep -qxF "$line" log.txt || { echo "missing line: $line"; fail=1; }
done
# Where the click lands is the pointer's, which other tests on the display may move meanwhile
# (a quarter across and down when nothing else does).
grep -qE '^\[S\] Yard: left click at [0-9]+% across, [0-9]+% down$' log.txt || { echo "missing the click line"; fail=1; }
exit "$fail"
