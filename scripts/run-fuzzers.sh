#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a few seconds each, JOBS at a
# time, from a copy of its seed corpus (what a run finds is not kept; for
# that, and for long runs, see scripts/fuzz-long.sh).
#   scripts/run-fuzzers.sh BUILD_DIR [SECONDS] [JOBS]
set -euo pipefail
dir=$1; seconds=${2:-10}; jobs=${3:-2}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Inputs that make a target fail are kept here, to be run again by hand.
crashes=$dir/fuzz-crashes
mkdir -p "$crashes"

# run TARGET: fuzzes it and prints one line; the log's tail when it fails.
run() {
  local f=$1 name
  name=$(basename "$f")
  mkdir "$work/$name"
  [ -d "$root/tests/fuzz/corpus/$name" ] && cp -r "$root/tests/fuzz/corpus/$name/." "$work/$name/"
  if "$f" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -print_final_stats=0 \
       -artifact_prefix="$crashes/$name-" "$work/$name" > "$work/$name.log" 2>&1; then
    echo "fuzz: $name clean after ${seconds}s"
  else
    tail -40 "$work/$name.log"
    ls "$crashes/$name-"* 2>/dev/null | sed 's/^/fuzz: failing input: /'
    echo "fuzz: $name FAILED"
    return 1
  fi
}

shopt -s nullglob
targets=()
if [ -f "$dir/fuzz/targets.txt" ]; then
  # The targets the build defines (configured with HOPSIGHT_FUZZ=ON).
  while read -r name; do
    [ -n "$name" ] && targets+=("$dir/fuzz/$name")
  done < "$dir/fuzz/targets.txt"
else
  for f in "$dir"/fuzz/*; do
    [ -x "$f" ] && [ -f "$f" ] && targets+=("$f")
  done
fi
[ ${#targets[@]} -gt 0 ] || { echo "fuzz: no targets in $dir/fuzz"; exit 1; }

failed=0
running=0
for f in "${targets[@]}"; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
  run "$f" &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
[ $failed -eq 0 ] || { echo "fuzz: a target failed"; exit 1; }
echo "fuzz: ${#targets[@]} targets ran clean, $jobs at a time"
