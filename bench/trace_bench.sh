#!/usr/bin/env bash
# Trace speed on the lab's responsive 10-hop route, all measured in one run:
#   - hopsight-trace's wall time beside `traceroute -I -n -q 1 -N 1` (ratio; goal <= 2)
#   - time from process start to the first probe sent (goal <= 20 ms)
#   - the engine's overhead per hop: time to the last row minus the sum of
#     the hops' round trips, divided by the hops (goal < 0.1 ms)
#   - what the data files cost at exit: runs on a data directory where
#     nothing changes (nothing is written) against runs that write the
#     settings and caches anew, on an idle disk and beside a writer that
#     syncs 8 MiB over and over (hopsight-trace only, not with TRACE_CMD)
#
#   bench/trace_bench.sh [BUILD_DIR]     (root; builds its own lab)
#   TRACE_CMD="prog args" overrides the traced program; "{}" in it stands for
#   the target, which is appended otherwise.
# The raw ICMP socket is used by both programs (the lab's client keeps
# ping_group_range closed), so the comparison is like for like.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${RUNS:-5}

if [ -z "${LAB_BENCH:-}" ]; then
  exec "$root/tests/lab/lab.sh" run --closed-ping-group -- "$0" "$build"
fi

trace=(${TRACE_CMD:-$build/bin/hopsight-trace})
[ -x "${trace[0]}" ] || { echo "no ${trace[0]}: build it first" >&2; exit 2; }
command -v traceroute >/dev/null || { echo "traceroute (Debian's) is not installed" >&2; exit 2; }
target=$LAB_BENCH
hops=$(awk -v d="$target" '$1 == "route" { on = ($3 == d) } on && $1 == "hop" { n++ } END { print n }' "$LAB_TOPOLOGY")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

now_ns() { date +%s%N; }
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# The traced command line; --timing only when the program knows it.
command_for() {  # command_for [--timing]
  local word out=() placed=0
  for word in "${trace[@]}"; do
    if [ "$word" = "{}" ]; then out+=("$@" "$target"); placed=1; else out+=("$word"); fi
  done
  ((placed)) || out+=("$@" "$target")
  printf '%s\n' "${out[@]}"
}
mapfile -t plain < <(command_for)
mapfile -t timed < <(command_for --timing)
# Warm up caches (binaries, neighbour entries) once each, and find out
# whether the program prints its own timings.
if "${timed[@]}" 2>&1 >/dev/null | grep -q 'first-probe-unix-ns='; then run=("${timed[@]}"); else run=("${plain[@]}"); fi
traceroute -I -n -q 1 -N 1 "$target" >/dev/null 2>&1 || true

: > "$work/ours"; : > "$work/theirs"; : > "$work/timing"; : > "$work/launch"
for ((i = 0; i < runs; i++)); do
  t0=$(now_ns); echo "$t0" >> "$work/launch"; "${run[@]}" >/dev/null 2>"$work/stderr.$i" || true
  t1=$(now_ns); echo $(((t1 - t0) / 1000)) >> "$work/ours"
  t0=$(now_ns); traceroute -I -n -q 1 -N 1 "$target" >/dev/null
  t1=$(now_ns); echo $(((t1 - t0) / 1000)) >> "$work/theirs"
  cat "$work/stderr.$i" >> "$work/timing"
done
ours=$(median < "$work/ours")
theirs=$(median < "$work/theirs")
printf 'route                    %s, %d hops, %d runs each (medians)\n' "$target" "$hops" "$runs"
printf 'hopsight-trace wall      %8.2f ms\n' "$(calc "$ours / 1000")"
printf 'traceroute -I wall       %8.2f ms\n' "$(calc "$theirs / 1000")"
printf 'wall ratio               %8.2f   (goal <= 2)\n' "$(calc "$ours / $theirs")"

if grep -q 'first-probe-unix-ns=' "$work/timing"; then
  # The program's own timings (--timing): the wall-clock time of its first
  # request, set against the moment we launched it, and its overhead per hop.
  for ((i = 0; i < runs; i++)); do
    sent=$(grep -o 'first-probe-unix-ns=[0-9]*' "$work/stderr.$i" | cut -d= -f2)
    calc "($sent - $(sed -n "$((i + 1))p" "$work/launch")) / 1000000"; echo
  done | median | xargs printf 'first probe after start  %8.3f ms (goal <= 20; launch to first request)\n'
  grep -o 'overhead-per-hop-ms=[0-9.-]*' "$work/timing" | cut -d= -f2 | median |
    xargs printf 'engine overhead          %8.4f ms/hop (goal < 0.1; from --timing)\n'
else
  # No timings from the program: read them off its system calls. strace slows
  # every call, so both numbers are upper bounds.
  command -v strace >/dev/null || { echo "strace is not installed: no start-up or overhead figures" >&2; exit 0; }
  for ((i = 0; i < runs; i++)); do
    strace -f -ttt -o "$work/strace.$i" -e trace=execve,setsockopt,sendto,sendmsg,recvfrom,recvmsg \
      "${plain[@]}" >/dev/null 2>&1 || true
    # The controller is the thread that sends the most requests; a hop's
    # engine time is from its answer's arrival to the next request.
    awk -v hops="$hops" '
      { tid = $1; t = $2 }
      /execve\(/ && !start { start = t }
      /sendto\(|sendmsg\(/ && !/= -1/ {
        if (!first) first = t
        sends[tid]++; send_t[tid, sends[tid]] = t; waiting[tid] = 1
      }
      /recvfrom\(|recvmsg\(/ && !/= -1/ && waiting[tid] { got[tid, sends[tid]] = t; waiting[tid] = 0 }
      END {
        best = ""; for (k in sends) if (best == "" || sends[k] > sends[best]) best = k
        n = sends[best]; gap = 0
        for (j = 1; j < n; j++) if ((best, j) in got) gap += send_t[best, j + 1] - got[best, j]
        printf "%.4f %.4f\n", (first - start) * 1000, gap * 1000 / (n > 1 ? n - 1 : 1)
      }' "$work/strace.$i"
  done > "$work/straced"
  printf 'first probe after start  %8.3f ms (goal <= 20; strace, upper bound)\n' "$(cut -d' ' -f1 "$work/straced" | median)"
  printf 'engine overhead          %8.4f ms/hop (goal < 0.1; strace, upper bound)\n' \
    "$(cut -d' ' -f2 "$work/straced" | median)"
fi

# The data files at exit. "same": a data directory the trace has filled
# before, so the settings and caches come out byte for byte as they were and
# are not rewritten; "new": a fresh directory every run, so both files are
# written and synced.
if [ -z "${TRACE_CMD:-}" ]; then
  warm=$work/warm-data
  "$build/bin/hopsight-trace" --quiet --data-dir "$warm" "$target" >/dev/null 2>&1 || true
  data_runs() {  # data_runs same|new OUT
    local i dir t0 t1
    : > "$2"
    for ((i = 0; i < runs; i++)); do
      if [ "$1" = same ]; then dir=$warm; else dir=$work/new-data.$i; fi
      t0=$(now_ns); "$build/bin/hopsight-trace" --quiet --data-dir "$dir" "$target" >/dev/null 2>&1 || true
      t1=$(now_ns); echo $(((t1 - t0) / 1000)) >> "$2"
      rm -rf "$work/new-data.$i"
    done
  }
  data_runs same "$work/same.idle"; data_runs new "$work/new.idle"
  ( while :; do dd if=/dev/zero of="$work/busy" bs=8M count=1 conv=fsync status=none; done ) &
  busy=$!
  data_runs same "$work/same.busy"; data_runs new "$work/new.busy"
  kill "$busy"; wait "$busy" 2>/dev/null || true
  for f in same.idle new.idle same.busy new.busy; do eval "${f/./_}=$(median < "$work/$f")"; done
  printf 'data files unchanged     %8.2f ms idle, %8.2f ms busy disk (wall)\n' \
    "$(calc "$same_idle / 1000")" "$(calc "$same_busy / 1000")"
  printf 'data files written       %8.2f ms idle, %8.2f ms busy disk (wall)\n' \
    "$(calc "$new_idle / 1000")" "$(calc "$new_busy / 1000")"
  printf 'written / unchanged      %8.2f   idle, %8.2f   busy disk\n' \
    "$(calc "$new_idle / $same_idle")" "$(calc "$new_busy / $same_busy")"
fi
