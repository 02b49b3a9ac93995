#!/usr/bin/env bash
# Runs inside the lab (tests/lab/lab.sh run -- THIS HOPSIGHT_TRACE FAKE_REGISTRY).
# A fake registry answers on port 43 of the bench host (198.18.20.2, the end
# of the lab's ten-hop route without silent hops), and the client's hosts
# file points the registries' host names at it. A trace to it then
# shows every hop's network (LAB-NET-<third number of its address>) and, with
# --whois, the destination's Registrant and Network texts. With the registry
# gone, a second run shows the same networks from HopCache.ini, and a run
# without that file shows none.
set -euo pipefail
trace=$1
registry=$2
data=$(mktemp -d)
registry_ns="${LAB_CLIENT_NS%c}bench"
registry_address=$LAB_BENCH

fail() { echo "FAIL: $*" >&2; exit 1; }
# "address network" per hop row (row 0 is this computer), from the JSON report.
networks() { sed -n 's/.*"index":\([1-9][0-9]*\),"address":"\([^"]\+\)".*"network":"\([^"]*\)".*/\2 \3/p'; }

cp /etc/hosts "$data/hosts.saved"
coproc REGISTRY { exec ip netns exec "$registry_ns" "$registry" "$registry_address" 43 2>&1; }
registry_pid=$REGISTRY_PID
exec {registry_out}<&"${REGISTRY[0]}"  # bash closes the coprocess's own descriptor when it ends
cleanup() {
  kill "$registry_pid" 2>/dev/null || true
  cat "$data/hosts.saved" > /etc/hosts
  rm -rf "$data"
}
trap cleanup EXIT
read -r -t 10 ready <&"$registry_out" || fail "the fake registry did not start"
[ "${ready%% *}" = listening ] || fail "the fake registry says: $ready"

# Every host an address or the destination's name is asked of (bench.lab.test
# ends in "st", which the table serves before its default row).
hosts="whois.arin.net whois.apnic.net whois.ripe.net whois.verisign-grs.com whois.internic.net whois.iana.org"
hosts+=" whois.nic.st"
echo "$registry_address $hosts" >> /etc/hosts

# What each hop must show.
awk '$1 == "route" { on = ($2 == "bench") } on && $1 == "hop" && $3 != "0.0.0.0" {
       split($3, o, "."); print $3, "LAB-NET-" o[3] }' "$LAB_TOPOLOGY" | sort > "$data/expected"
[ -s "$data/expected" ] || fail "no hops in the topology"

"$trace" --json --quiet --data-dir "$data/d" "$LAB_BENCH" > "$data/first.json"
networks < "$data/first.json" | sort > "$data/first"
diff -u "$data/expected" "$data/first" || fail "the first run does not show every hop's network"
grep -q "^1:$" "$data/d/HopCache.ini" || fail "no address entry in HopCache.ini"
grep -q "^LAB-NET-2:[0-9]*=$" "$data/d/HopCache.ini" || fail "no network-name entry in HopCache.ini"
grep -q "^st, 2, whois.nic.st, \"%s\"$" "$data/d/HopWhoIs.ini" || fail "HopWhoIs.ini does not hold the st row"

# The destination's two texts, as the window's panels show them.
"$trace" --whois --quiet --data-dir "$data/d" "$LAB_BENCH" > "$data/whois.txt"
sed -n '/^Registrant$/,/^Network$/p' "$data/whois.txt" | grep -q "HopSight Lab Registrant" ||
  fail "no Registrant text: $(cat "$data/whois.txt")"
sed -n '/^Network$/,$p' "$data/whois.txt" | grep -q "NetName: *LAB-NET-20" || fail "no Network text"

# The registry goes away: the networks now come from the cache file.
kill "$registry_pid"
wait "$registry_pid" 2>/dev/null || true
requests=$(grep -c '^request ' <&"$registry_out" || true)
"$trace" --json --quiet --data-dir "$data/d" "$LAB_BENCH" > "$data/second.json"
networks < "$data/second.json" | sort > "$data/second"
diff -u "$data/expected" "$data/second" || fail "the second run does not take the networks from HopCache.ini"

"$trace" --json --quiet --data-dir "$data/empty" "$LAB_BENCH" > "$data/third.json"
if networks < "$data/third.json" | grep -q "LAB-NET"; then
  fail "networks appear without the registry and without a cache: the check above proves nothing"
fi
echo "networks: $(wc -l < "$data/expected") hops named through $requests registry requests, then from HopCache.ini"
