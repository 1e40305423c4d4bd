#!/usr/bin/env bash
# A game's 2D layer answering real X events (xdotool): a click beside its button does nothing,
# a click on it reaches the button window's script handler, which says so on the log.
# Usage: player_ui_click.sh <player> <game folder> <scratch folder>. Exit 77: skipped.
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

"$player" game.ngp -P -r gl2 -m none -time_live 8 > log.txt 2>&1 &
pid=$!
window=$(qz_player_window "$pid") || exit 1
for _ in $(seq 100); do grep -q 'Panel: button ready' log.txt && break; sleep 0.1; done
# Other tests' windows may open over it meanwhile: raise and focus it before each click. The
# button spans 300..500 across and 250..350 down of the 800 x 600 window.
click_at() {
  xdotool windowraise "$window" 2>/dev/null
  xdotool windowfocus "$window" 2>/dev/null
  xdotool mousemove --window "$window" "$1" "$2"
  sleep 0.3
  xdotool click 1
  sleep 0.5
}
click_at 100 500
grep -q 'Panel: button clicked' log.txt && { cat log.txt; echo "a click beside the button reached it"; kill "$pid"; exit 1; }
click_at 400 300
wait "$pid"
code=$?
cat log.txt
fail=0
[ "$code" -eq 0 ] || { echo "exit code $code"; fail=1; }
grep -qxF '[S] Click game set up' log.txt || { echo "missing the set-up line"; fail=1; }
grep -qE '^\[S\] Panel: button clicked \(Clicked, entered [1-9][0-9]* time\(s\)\)$' log.txt || { echo "missing the click line"; fail=1; }
exit "$fail"
