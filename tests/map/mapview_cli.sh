#!/usr/bin/env bash
# hopsight-mapview from the command line: --png draws without a display, and
# every input it refuses is named with the reason.
#   mapview_cli.sh HOPSIGHT_MAPVIEW MAPS_DIR
set -uo pipefail
mapview=$1 maps=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# No display of any kind, and no platform chosen by the caller.
view() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_RUNTIME_DIR="$work" "$mapview" --maps "$maps" "$@"; }

cat > "$work/route.json" <<'JSON'
{"target": "t", "rows": [{"latitude": 52.52, "longitude": 13.40, "source": 8},
                         {"latitude": 35.68, "longitude": 139.69, "source": "Server"}]}
JSON
view --png "$work/route.png" --size 320x200 "$work/route.json" 2> "$work/err" || fail "--png without a display: $(cat "$work/err")"
[ -s "$work/route.png" ] || fail "no picture written"

# refused FILE EXPECTED-MESSAGE
refused() {
  view --png "$work/x.png" "$1" > /dev/null 2> "$work/err"
  local rc=$?
  [ "$rc" = 1 ] || fail "$1: exit $rc"
  grep -qxF "hopsight-mapview: cannot read $1: $2" "$work/err" || fail "$1: $(cat "$work/err")"
}
refused "$work/missing.json" "No such file or directory"
printf '{"rows": [\n  {"latitude": 1,\n   "longitude" 2}]}\n' > "$work/syntax.json"
refused "$work/syntax.json" "line 3, column 17: missing name separator"

echo '{"rows": [{"index": 0}, {"index": 1}]}' > "$work/unplaced.json"
view --png "$work/unplaced.png" --size 320x200 "$work/unplaced.json" 2> "$work/err" || fail "unplaced: exit $?"
grep -qxF "hopsight-mapview: no hop of $work/unplaced.json has a position: no route drawn" "$work/err" ||
  fail "unplaced: $(cat "$work/err")"
echo "mapview: pictures without a display, refusals with reasons"
