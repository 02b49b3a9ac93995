#!/usr/bin/env bash
# Fuzzes for longer than ./test does, keeping what the runs learn: each
# target's corpus grows in build/fuzz/corpus/<target> (seeded from
# tests/fuzz/corpus) and failing inputs land in build/fuzz/fuzz-crashes.
#   scripts/fuzz-long.sh [SECONDS_PER_TARGET] [TARGET...]
# Defaults: 600 seconds, every target, as many at a time as there are cores.
# New inputs worth keeping as seeds: libFuzzer's -merge=1 into tests/fuzz/corpus/<target>.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
jobs=$(nproc)
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/hopsight-ccache} CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=true
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DHOPSIGHT_FUZZ=ON -DHOPSIGHT_WITH_BENCH=OFF \
  -DHOPSIGHT_WITH_QT=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/fuzz -j "$jobs" --target fuzz-targets

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  mapfile -t targets < build/fuzz/fuzz/targets.txt  # the build's own list
fi
mkdir -p build/fuzz/fuzz-crashes
run() {
  local name=$1 corpus=build/fuzz/corpus/$1
  mkdir -p "$corpus"
  [ -d "tests/fuzz/corpus/$name" ] && cp -rn "tests/fuzz/corpus/$name/." "$corpus/"
  if "build/fuzz/fuzz/$name" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="build/fuzz/fuzz-crashes/$name-" "$corpus" > "build/fuzz/$name.log" 2>&1; then
    echo "fuzz-long: $name clean after ${seconds}s, corpus $(ls "$corpus" | wc -l) inputs"
  else
    tail -40 "build/fuzz/$name.log"
    echo "fuzz-long: $name FAILED (inputs in build/fuzz/fuzz-crashes)"
    return 1
  fi
}
failed=0 running=0
for name in "${targets[@]}"; do
  if [ "$running" -ge "$jobs" ]; then wait -n || failed=1; running=$((running - 1)); fi
  run "$name" &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do wait -n || failed=1; running=$((running - 1)); done
exit $failed
