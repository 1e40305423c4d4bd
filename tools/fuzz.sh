#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds.
#   tools/fuzz.sh [seconds] [target...]      (default: 60 seconds, every target)
# Corpora live in build-fuzz/corpus/<target>; a crash is written to build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-60}; shift || true
./tools/install-deps.sh
cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQZ_FUZZ=ON -DQZ_TESTS=OFF -DQZ_BENCH=OFF >/dev/null
python3 tools/check-layers.py build-fuzz
cmake --build build-fuzz -j "$(nproc)"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in tests/fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
mkdir -p build-fuzz/artifacts
status=0
for t in "${targets[@]}"; do
  mkdir -p "build-fuzz/corpus/$t"
  seeds=()
  [ -d "tests/fuzz/seeds/$t" ] && seeds=("tests/fuzz/seeds/$t")
  echo "== $t for ${secs}s"
  if ! "build-fuzz/tests/fuzz/$t" -max_total_time="$secs" -print_final_stats=1 \
       -artifact_prefix=build-fuzz/artifacts/ "build-fuzz/corpus/$t" "${seeds[@]}"; then
    status=1
  fi
done
exit $status
