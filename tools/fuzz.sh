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
read -r -a QZ_FUZZ_ARGS <<< "${QZ_FUZZ_ARGS:-}"   # extra libFuzzer options, e.g. QZ_FUZZ_ARGS=-jobs=1
if [ ${#targets[@]} -eq 0 ]; then
  for f in tests/fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
mkdir -p build-fuzz/artifacts

# A scene whose items form one chain, leaf first, deeper than any hand-written seed: it makes the
# scene target's inputs long enough to reach deep hierarchies. Its first byte is the load flags.
deep_scene_seed() {
  local dir=build-fuzz/seeds/fuzz_scene n=${1:-4000} i
  mkdir -p "$dir"
  {
    printf '\0<NML=1.0>\n<Scene= <Items=\n'
    for ((i = 0; i < n; i++)); do
      printf '<MObject= <MItem= <Id="n%d"> <UId=%d> <Active> > <Object= > >\n' "$i" "$i"
    done
    printf '> <Links=\n'
    for ((i = 0; i + 1 < n; i++)); do printf '<Link= <Item=%d> <Link=%d> >\n' "$i" $((i + 1)); done
    printf '> >\n'
  } > "$dir/deep-chain.nms"
}
deep_scene_seed

status=0
for t in "${targets[@]}"; do
  mkdir -p "build-fuzz/corpus/$t"
  seeds=()
  [ -d "tests/fuzz/seeds/$t" ] && seeds=("tests/fuzz/seeds/$t")
  [ -d "build-fuzz/seeds/$t" ] && seeds+=("build-fuzz/seeds/$t")
  echo "== $t for ${secs}s"
  if ! "build-fuzz/tests/fuzz/$t" -max_total_time="$secs" -print_final_stats=1 "${QZ_FUZZ_ARGS[@]}" \
       -artifact_prefix=build-fuzz/artifacts/ "build-fuzz/corpus/$t" "${seeds[@]}"; then
    status=1
  fi
done
exit $status
