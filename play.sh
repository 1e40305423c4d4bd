#!/usr/bin/env bash
# Installs what is missing, builds the player (the normal build in build/, reused when present)
# and plays the demo game in a window for a few seconds. Arguments are passed on to the
# player after the demo's own, so a later option overrides (e.g. ./play.sh -time_live 0);
# "-m <id>" chooses the mixer (default "al", falling back to "soft", then "none").
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

# The mixer: "-m al" (OpenAL, the default), "-m soft", "-m file <out.wav>" or "-m none". When
# OpenAL cannot open a sound device the demo plays again on the software mixer, and when that
# cannot open one either, without sound; each step says so.
mixer=(al)
rest=()
while [ $# -gt 0 ]; do
  if [ "$1" = "-m" ] && [ $# -ge 2 ]; then
    if [ "$2" = "file" ] && [ $# -ge 3 ]; then mixer=(file "$3"); shift 3; continue; fi
    mixer=("$2"); shift 2; continue
  fi
  rest+=("$1"); shift
done

# The game's files are found from its own folder.
cd demo/crates
output=$(mktemp)     # removed at the end (the display's own exit trap stays in place)
run() {
  local code
  set +e
  "$root/build/engine/player/quazel" crates.nms -r gl2 -m "$@" -time_live 5 ${rest[@]+"${rest[@]}"} 2>&1 | tee "$output"
  code=${PIPESTATUS[0]}
  set -e
  return "$code"
}
status=0
run "${mixer[@]}" || status=$?
if [ "$status" -ne 0 ] && [ "${mixer[0]}" = "al" ] && grep -q "Failed to open default OpenAL device" "$output"; then
  echo "play.sh: OpenAL found no sound device; playing again with the software mixer (-m soft)"
  mixer=(soft)
  status=0
  run soft || status=$?
fi
if [ "$status" -ne 0 ] && [ "${mixer[0]}" = "soft" ] && grep -q "Failed to open the audio output device" "$output"; then
  echo "play.sh: the software mixer found no sound device either; playing without sound (-m none)"
  status=0
  run none || status=$?
fi
rm -f "$output"
echo "play.sh: the player exited with code $status"
exit "$status"
