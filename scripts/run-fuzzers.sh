#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a few seconds each.
#   scripts/run-fuzzers.sh BUILD_DIR SECONDS
set -euo pipefail
dir=$1; seconds=${2:-20}
root=$(cd "$(dirname "$0")/.." && pwd)
shopt -s nullglob
ran=0
for f in "$dir"/fuzz/*; do
  [ -x "$f" ] && [ -f "$f" ] || continue
  name=$(basename "$f")
  corpus="$root/tests/fuzz/corpus/$name"
  work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
  [ -d "$corpus" ] && cp -r "$corpus/." "$work/"
  echo "fuzz: $name for ${seconds}s"
  "$f" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -print_final_stats=0 "$work" \
     >"$work.log" 2>&1 || { tail -40 "$work.log"; echo "fuzz: $name FAILED"; exit 1; }
  rm -rf "$work" "$work.log"
  ran=$((ran + 1))
done
echo "fuzz: $ran targets ran clean"
