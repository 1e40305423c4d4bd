#!/usr/bin/env bash
# Installs what is missing, builds the player (the normal build in build/, reused when present)
# and plays the demo game in a window for a few seconds. Arguments are passed on to the
# player after the demo's own, so a later option overrides (e.g. ./play.sh -time_live 0).
# Without a display, a virtual X server serves the run.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)

./scripts/install-deps.sh

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

if [ -z "${DISPLAY:-}" ]; then
  xvfb_fd_file=$(mktemp)
  Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp 9>"$xvfb_fd_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  trap 'kill "$xvfb_pid" 2>/dev/null || true; rm -f "$xvfb_fd_file"' EXIT
  for _ in $(seq 100); do [ -s "$xvfb_fd_file" ] && break; sleep 0.1; done
  if [ ! -s "$xvfb_fd_file" ]; then
    echo "play.sh: no display, and the virtual X server (Xvfb) did not start" >&2
    exit 1
  fi
  export DISPLAY=":$(head -n1 "$xvfb_fd_file")"
  echo "play.sh: no display found; running on a virtual X server (Xvfb) at $DISPLAY"
fi

# The game's files are found from its own folder.
cd demo/crates
status=0
"$root/build/engine/player/quazel" crates.nms -r gl2 -m none -time_live 5 "$@" || status=$?
echo "play.sh: the player exited with code $status"
exit "$status"
