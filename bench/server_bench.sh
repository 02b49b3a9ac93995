#!/usr/bin/env bash
# Load test of hopsight-locd on loopback: route location requests of 10 hops
# per second and p99 latency, beside nginx serving a static file of the same
# size on the same machine in the same run, printed as ratios; then the
# latency of the same requests while 1,000 slow connections are held open.
#   bench/server_bench.sh [BUILD_DIR] [SECONDS_PER_RUN]
# Needs wrk, nginx, curl and ss (scripts/bootstrap.sh); goals: at least half of
# nginx's rate, and answers within milliseconds beside the slow connections.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
seconds=${2:-5}
connections=${BENCH_CONNECTIONS:-8}
data=$build/share/hopsight-locd

cmake --build "$build" -j2 --target hopsight-locd hopsight-locd-data slow_clients >/dev/null
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {  # a loopback port nobody listens on (ss from iproute2)
  local p
  while :; do
    p=$((20000 + RANDOM % 40000))
    ss -ltnH "sport = :$p" | grep -q . || { echo "$p"; return; }
  done
}

# The server as an operator would start it: default limits and lookup threads.
"$build/bin/hopsight-locd" --listen 127.0.0.1:0 --data "$data" \
  --log "$work/locd.log" >"$work/locd.out" 2>"$work/locd.err" &
pids+=($!)
for _ in $(seq 100); do grep -q listening "$work/locd.out" 2>/dev/null && break; sleep 0.1; done
locd_port=$(sed -n 's/^listening on 127.0.0.1:\([0-9]*\)$/\1/p' "$work/locd.out")
[ -n "$locd_port" ] || { cat "$work/locd.err"; echo "bench: hopsight-locd did not start"; exit 1; }

# Ten public hops of different registries, as a real trace would send them.
path="/loc/?0123456789abcdef01234567&Z"
for a in 0808080800000005 01010101000000a0 c1000001000000f0 cb0071010000012c 2906a001000001f4 \
         5db8d82200000100 d5000001000001a0 0a000001000000ff 4a7d0001000002c0 681a0001000003e8; do
  path+=$a
done
locd_url="http://127.0.0.1:$locd_port$path"
mkdir -p "$work/www"
curl -sf "$locd_url" -o "$work/www/route.txt"
size=$(stat -c %s "$work/www/route.txt")
[ "$size" -eq 234 ] || { echo "bench: route answer is $size bytes, expected 234"; exit 1; }

nginx_port=$(free_port)
cat >"$work/nginx.conf" <<CONF
worker_processes auto;
daemon off;
pid $work/nginx.pid;
error_log $work/nginx.err;
events { worker_connections 256; }
http {
  access_log off;
  server {
    listen 127.0.0.1:$nginx_port;
    root $work/www;
    default_type text/plain;
  }
}
CONF
nginx -c "$work/nginx.conf" -p "$work" &
pids+=($!)
for _ in $(seq 50); do curl -sf "http://127.0.0.1:$nginx_port/route.txt" -o /dev/null && break; sleep 0.1; done

run_wrk() {  # URL [CONNECTIONS] → "rate p50_ms p99_ms"
  local out
  out=$(wrk -t"$(( ${2:-$connections} > 1 ? 2 : 1 ))" -c"${2:-$connections}" -d"${seconds}s" --latency "$1")
  local rate p50 p99 ms='{v=$2; if (v ~ /us$/) {sub(/us$/,"",v); v/=1000} else if (v ~ /ms$/) {sub(/ms$/,"",v)} else if (v ~ /s$/) {sub(/s$/,"",v); v*=1000}; print v}'
  rate=$(awk '/^Requests\/sec:/ {print $2}' <<<"$out")
  p50=$(awk '$1 == "50%" '"$ms" <<<"$out")
  p99=$(awk '$1 == "99%" '"$ms" <<<"$out")
  echo "$rate $p50 $p99"
}

read -r locd_rate _ locd_p99 < <(run_wrk "$locd_url")
read -r nginx_rate _ nginx_p99 < <(run_wrk "http://127.0.0.1:$nginx_port/route.txt")
read -r one_rate one_p50 one_p99 < <(run_wrk "$locd_url" 1)

# Now 1,000 slow connections beside the normal ones: half silent, half sending
# a request line a byte a second, from 33 other loopback addresses within the
# per-address cap. The server ends each after its request-head time-out; the
# helper opens it again at once, as an attacker would.
slow_clients=1000
"$build/bench/slow_clients" "$locd_port" "$slow_clients" $((2 * seconds + 3)) 127.0.1.1 >"$work/slow.out" &
slow_pid=$!
pids+=($slow_pid)
for _ in $(seq 100); do grep -q '^open' "$work/slow.out" 2>/dev/null && break; sleep 0.1; done
grep -q "^open $slow_clients" "$work/slow.out" || { cat "$work/slow.out" "$work/locd.err"; echo "bench: slow clients did not connect"; exit 1; }
read -r slow_rate slow_p50 slow_p99 < <(run_wrk "$locd_url")
read -r slow_one_rate slow_one_p50 slow_one_p99 < <(run_wrk "$locd_url" 1)
wait "$slow_pid" || true
reopened=$(sed -n 's/^closed by the server \([0-9]*\).*/\1/p' "$work/slow.out")
errors=$(grep -v 'refused' "$work/locd.log" | grep -vc '" 200 234$' || true)

printf 'route requests (10 hops, %d connections, %ss each, loopback)\n' "$connections" "$seconds"
printf '  hopsight-locd  %10.0f req/s   p99 %7.3f ms\n' "$locd_rate" "$locd_p99"
printf '  nginx static   %10.0f req/s   p99 %7.3f ms\n' "$nginx_rate" "$nginx_p99"
awk -v a="$locd_rate" -v b="$nginx_rate" -v c="$locd_p99" -v d="$nginx_p99" 'BEGIN {
  r = a / b
  printf "  rate ratio locd/nginx %.2f (goal >= 0.50: %s)   p99 ratio locd/nginx %.2f\n", r, (r >= 0.5 ? "met" : "NOT met"), c / d
}'
printf 'the same requests while %d slow connections are open (they were closed by the server and opened again %s times)\n' \
  "$slow_clients" "${reopened:-?}"
printf '  one client at a time    p50 %7.3f ms  p99 %7.3f ms   (without the slow connections: p50 %7.3f ms  p99 %7.3f ms)\n' \
  "$slow_one_p50" "$slow_one_p99" "$one_p50" "$one_p99"
printf '  %d connections    %10.0f req/s   p99 %7.3f ms   (without: %10.0f req/s   p99 %7.3f ms)\n' \
  "$connections" "$slow_rate" "$slow_p99" "$locd_rate" "$locd_p99"
awk -v p="$slow_one_p50" -v q="$one_p50" 'BEGIN {
  printf "  goal: answers within milliseconds beside the slow connections (median under 2 ms): %s   median ratio with/without %.2f\n", (p < 2 ? "met" : "NOT met"), p / q
}'
echo "  requests logged by hopsight-locd that were not a 234-byte 200: $errors"
