#!/usr/bin/env bash
# Installs what is missing, builds the player (the normal build in build/, reused when present)
# and plays the demo game in a window for a few seconds. Arguments are passed on to the
# player after the demo's own, so a later option overrides (e.g. ./play.sh -time_live 0).
# Without a display, a virtual X server serves the run.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)

./tools/install-deps.sh

gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# A build folder made by another generator is reused as it is.
if [ -f build/CMakeCache.txt ]; then gen=(); fi
cmake -S . -B build "${gen[@]}" "${launcher[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target quazel

. tools/display.sh
if [ -z "${DISPLAY:-}" ]; then
  if ! qz_start_display; then
    echo "play.sh: no display, and the virtual X server (Xvfb) did not start" >&2
    exit 1
  fi
  echo "play.sh: no display found; running on a virtual X server (Xvfb) at $DISPLAY"
fi

# The game's files are found from its own folder.
cd demo/crates
status=0
"$root/build/engine/player/quazel" crates.nms -r gl2 -m none -time_live 5 "$@" || status=$?
echo "play.sh: the player exited with code $status"
exit "$status"
