#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest: first the normal build,
# then the AddressSanitizer + UndefinedBehaviorSanitizer build and the stream tests under
# ThreadSanitizer (QZ_SANITIZE=0 skips both).
set -euo pipefail
cd "$(dirname "$0")"

./tools/install-deps.sh

jobs=$(nproc)
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# The OpenGL tests need a display: without one, a virtual X server serves this run.
. tools/display.sh
if [ -z "${DISPLAY:-}" ] && ! qz_start_display; then
  echo "test.sh: no display and Xvfb did not start; the OpenGL tests will skip" >&2
fi

run_suite() {
  local dir=$1; shift
  echo "== $dir"
  cmake -S . -B "$dir" "${gen[@]}" "${launcher[@]}" "$@" >/dev/null
  # No file includes a header of a library its target does not link (the graph is CMake's).
  python3 tools/check-layers.py "$dir"
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
}

# Both builds treat a compiler warning as an error.
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQZ_WERROR=ON
if [ "${QZ_SANITIZE:-1}" != 0 ]; then
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DQZ_SANITIZE=ON -DQZ_BENCH=OFF -DQZ_WERROR=ON
  # The decoder and raytracer threads under ThreadSanitizer: only the stream, streamed-channel and
  # raytracer tests.
  echo "== build-tsan (streams, raytracer)"
  cmake -S . -B build-tsan "${gen[@]}" "${launcher[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQZ_TSAN=ON \
    -DQZ_BENCH=OFF -DQZ_WERROR=ON >/dev/null
  tsan_tests=(audio_streams_test_stream_channels audio_streams_test_ogg_stream audio_openal_test_al_stream
    render_raytrace_test_raytracer)
  cmake --build build-tsan -j "$jobs" --target "${tsan_tests[@]}"
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    ctest --test-dir build-tsan --output-on-failure -j "$jobs" --timeout 300 \
      -R "^(StreamInterface|StreamedChannels|RingBuffer|OggStream|ALStreamTest|Raytracer)\."
fi
