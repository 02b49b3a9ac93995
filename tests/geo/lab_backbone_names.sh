#!/usr/bin/env bash
# Runs inside the lab (tests/lab/lab.sh run -- THIS HOPSIGHT_TRACE).
# The lab's routers get names of backbone routers (Frankfurt, Amsterdam,
# London, New York, and the target Sydney); hopsight-trace must place each
# within 50 km of its city from the shipped HopSight.gdp, with source Database
# and precision 40. The first hop (whose name the trace never asks for) is
# placed by its address from a user location in HopLoc.ini (source User),
# which is written back normalised.
set -euo pipefail
trace=$1
data=$(mktemp -d)
cp /etc/hosts "$data/hosts.saved"
restore() { cat "$data/hosts.saved" > /etc/hosts; rm -rf "$data"; }
trap restore EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cat > /etc/hosts <<'HOSTS'
127.0.0.1 localhost
198.18.1.2 gw.home.lan
198.18.2.2 100ge14-1.core1.fra1.he.net
198.18.4.2 be2813.ccr41.ams03.atlas.cogentco.com
198.18.5.2 ldn-bb1-link.ip.twelve99.net
198.18.6.2 ae-1-3502.ear1.NewYork1.Level3.net
198.18.7.2 bundle-ether1.chw-edge903.sydney.telstra.net
HOSTS
printf '; the first router\ncount=1\n198.18.1.*=35.6895,139.6917,200\n' > "$data/HopLoc.ini"

"$trace" --json --quiet --data-dir "$data" "$LAB_TARGET" > "$data/trace.json"
"$trace" --quiet --data-dir "$data" "$LAB_TARGET" > "$data/table.txt"

# "address source latitude longitude precision" per row.
sed -n 's/.*"address":"\([^"]*\)".*"source":\([0-9]*\),"latitude":\([-0-9.]*\),"longitude":\([-0-9.]*\),"precision":\([0-9]*\).*/\1 \2 \3 \4 \5/p' \
  "$data/trace.json" > "$data/rows"
check() {  # check ADDRESS SOURCE PRECISION LAT LON
  local row
  row=$(awk -v a="$1" '$1 == a' "$data/rows" | tail -1)
  [ -n "$row" ] || fail "no row for $1: $(cat "$data/trace.json")"
  read -r _ source lat lon precision <<< "$row"
  [ "$source" = "$2" ] || fail "$1: source $source, expected $2: $(cat "$data/trace.json")"
  [ "$precision" = "$3" ] || fail "$1: precision $precision, expected $3"
  awk -v a="$lat" -v o="$lon" -v b="$4" -v p="$5" -v who="$1" 'BEGIN {
    r = 3.14159265358979 / 180
    d = sin((b - a) * r / 2) ^ 2 + cos(a * r) * cos(b * r) * sin((p - o) * r / 2) ^ 2
    km = 2 * 6371 * atan2(sqrt(d), sqrt(1 - d))
    printf "%s: %.1f km from its city\n", who, km
    exit (km <= 50 ? 0 : 1) }' || fail "$1 lies more than 50 km from its city"
}
check 198.18.1.2 7 200 35.69 139.69
check 198.18.2.2 4 40 50.11 8.68
check 198.18.4.2 4 40 52.37 4.89
check 198.18.5.2 4 40 51.51 -0.13
check 198.18.6.2 4 40 40.71 -74.01
check 198.18.7.2 4 40 -33.87 151.21

grep -q 'fra1.he.net .*Frankfurt am Main, DE (Database/40)' "$data/table.txt" || fail "the table shows no Location for r2"
grep -q '"place":"Sydney, AU"' "$data/trace.json" || fail "the JSON names no place for the target"
[ "$(cat "$data/HopLoc.ini")" = "$(printf 'count=1\n198.18.1.*=35.69,139.69,200')" ] ||
  fail "HopLoc.ini was not written back normalised: $(cat "$data/HopLoc.ini")"
echo "all backbone routers placed from HopSight.gdp; the target from HopLoc.ini"
