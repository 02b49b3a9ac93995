#!/usr/bin/env bash
# Runs inside the lab (tests/lab/lab.sh run -- THIS HOPSIGHT_TRACE).
# A second trace to the same target takes every hop name from the cache file:
# with the hosts file emptied (no name can be resolved any more) it shows the
# same names as the first. A third run without the cache file shows that the
# resolver really has no names left, so the second run's came from the file.
# Then --replay shows the route recorded by the first run's --record.
set -euo pipefail
trace=$1
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT

# "address name" per row, from the JSON report (one row per line).
names() { sed -n 's/.*"address":"\([^"]*\)","name":"\([^"]*\)".*/\1 \2/p'; }
route() { sed -n 's/.*"address":"\([^"]*\)".*"status":\([0-9]*\).*/\1 \2/p'; }
fail() { echo "FAIL: $*" >&2; exit 1; }

"$trace" --json --quiet --record --data-dir "$data" "$LAB_TARGET" > "$data/first.json"
names < "$data/first.json" > "$data/first.names"
grep -q "^198.18.2.2 r2.lab.test$" "$data/first.names" || fail "first run: no name for r2"
grep -q "^198.18.2.2:[0-9]*=r2.lab.test$" "$data/HopCache.ini" || fail "r2's name is not in the cache file"

cp /etc/hosts "$data/hosts.saved"
echo "127.0.0.1 localhost" > /etc/hosts
restore() { cat "$data/hosts.saved" > /etc/hosts; rm -rf "$data"; }
trap restore EXIT

"$trace" --json --quiet --data-dir "$data" "$LAB_TARGET" > "$data/second.json"
names < "$data/second.json" > "$data/second.names"
diff -u "$data/first.names" "$data/second.names" || fail "the second run shows other names"

mkdir "$data/empty"
"$trace" --json --quiet --data-dir "$data/empty" "$LAB_TARGET" > "$data/third.json"
if names < "$data/third.json" | grep -q "lab.test"; then
  fail "names still resolve without the hosts file: the check above proves nothing"
fi

# A fresh record is replayed, not probed, and not written again. (Which
# recorded rows the replay shows depends on when the destination probe
# answers, so only rows of the record are required, ending at the target.)
cp "$data/hsehtdb.idx" "$data/idx.before"
cp "$data/hsehtdb.ent" "$data/ent.before"
"$trace" --json --quiet --replay --data-dir "$data" "$LAB_TARGET" > "$data/replay.json"
cmp -s "$data/idx.before" "$data/hsehtdb.idx" || fail "the replay rewrote the history index"
cmp -s "$data/ent.before" "$data/hsehtdb.ent" || fail "the replay rewrote the history entries"
route < "$data/first.json" > "$data/first.route"
route < "$data/replay.json" > "$data/replay.route"
while IFS= read -r row; do
  grep -qxF "$row" "$data/first.route" || fail "the replay shows a row that was not recorded: $row"
done < "$data/replay.route"
[ "$(tail -1 "$data/replay.route")" = "$LAB_TARGET 0" ] || fail "the replay does not end at the target"
