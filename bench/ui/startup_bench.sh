#!/usr/bin/env bash
# Cold start of hopsight to its first painted window, and its resident memory
# then (every map loaded): goals under 300 ms and under 100 MB. Runs the real
# program RUNS times under Xvfb and once per run with the offscreen platform,
# and prints the median and the worst of each.
#
#   bench/ui/startup_bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/../.."
inside=""
if [ "${1:-}" = --measure ]; then inside=$2; shift 2; fi
build=$(realpath "${1:-build}")
runs=${2:-15}
program="$build/bin/hopsight"
[ -x "$program" ] || { echo "startup_bench: build hopsight first" >&2; exit 1; }

measure() {  # measure PLATFORM: prints one "ms kb" line per run
  for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    line=$(HOPSIGHT_BENCH_FIRST_PAINT=1 QT_QPA_PLATFORM=$1 "$program" /T 127.0.0.1 2>/dev/null | grep first-paint)
    painted=$(sed -E 's/.*first-paint-unix-ns=([0-9]+).*/\1/' <<<"$line")
    kb=$(sed -E 's/.*rss-kb=([0-9]+).*/\1/' <<<"$line")
    echo "$(( (painted - start) / 1000000 )) $kb"
  done
}
report() {  # report NAME < lines
  sort -n | awk -v name="$1" '{ ms[NR] = $1; if ($2 > kb) kb = $2 }
    END { printf "%-10s first paint: median %d ms, worst %d ms (goal < 300); resident memory up to %.1f MB (goal < 100)\n",
          name, ms[int((NR + 1) / 2)], ms[NR], kb / 1024 }'
}

if [ -n "$inside" ]; then
  measure "$inside"
  exit
fi
xvfb-run -a -s "-screen 0 1920x1080x24" "$0" --measure xcb "$build" "$runs" | report xcb
measure offscreen | report offscreen
