#!/usr/bin/env bash
# hopsight-trace --record of 127.0.0.1 into data directories it cannot save
# into: a read-only one, a file, and as root immutable files and another
# user's directory (run as nobody through setpriv, raw ICMP socket allowed).
# The trace is still shown, stderr names each file not saved or recorded once
# with its reason and says nothing else, and the old files stay as they were.
#   save_failures.sh HOPSIGHT_TRACE
set -uo pipefail
trace=$1
work=$(mktemp -d /tmp/hopsight-save-XXXXXX)
chmod 755 "$work"
trap 'chattr -R -i "$work" 2>/dev/null; rm -rf "$work"' EXIT
root=$([ "$(id -u)" = 0 ] && echo 1 || echo 0)
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

run() {  # run DIR [as-nobody]: sets out, err, rc
  # The messages are compared in English, whatever language the caller's environment asks for.
  local cmd=(env LC_ALL=C LANGUAGE= "$trace" --quiet --record --data-dir "$1" 127.0.0.1)
  [ "${2:-}" = as-nobody ] &&
    cmd=(setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=+net_raw --ambient-caps=+net_raw "${cmd[@]}")
  out=$("${cmd[@]}" 2>"$work/stderr"); rc=$?; err=$(cat "$work/stderr")
}
old_files() {  # files of a former run, in another form than the next save writes
  mkdir -p "$1"
  printf '[options]\nsound=0\nstart location=2,48.100000,11.500000,130\n' > "$1/HopSight.ini"
  printf '[dns]\ncount=1\n198.18.0.1:%s=r1.example\n' "$(date +%s)" > "$1/HopCache.ini"
  cp "$1/HopSight.ini" "$work/settings.before"; cp "$1/HopCache.ini" "$work/caches.before"
}
expect() {  # expect DIR "REASON for settings" "REASON for caches" "REASON for the history"
  local dir=$1 line
  local lines=("settings not saved: $2" "lookup caches not saved: $3" "trace not recorded: $4")
  [ "$rc" = 0 ] && grep -q "127.0.0.1" <<<"$out" || fail "$dir: exit $rc, no trace shown"
  for line in "${lines[@]}"; do
    [ "$(grep -cxF "hopsight-trace: $line" <<<"$err")" = 1 ] || fail "$dir: not said once: $line"$'\n'"$err"
  done
  [ "$(grep -c '^hopsight-trace:' <<<"$err")" = 3 ] || fail "$dir: other messages:"$'\n'"$err"
  [ -f "$dir" ] && return
  cmp -s "$dir/HopSight.ini" "$work/settings.before" || fail "$dir: the settings file changed"
  cmp -s "$dir/HopCache.ini" "$work/caches.before" || fail "$dir: the cache file changed"
}

run "$work/good"
[ "$rc" = 3 ] && { echo "no ICMP socket for this user: skipped" >&2; exit 77; }
[ "$rc" = 0 ] && [ -z "$err" ] || fail "good directory: exit $rc, stderr: $err"

dir=$work/readonly  # as root: read-only for nobody, who owns it
old_files "$dir"
chmod 555 "$dir"
if ((root)); then chown -R 65534:65534 "$dir"; run "$dir" as-nobody; else run "$dir"; fi
denied="Permission denied"
expect "$dir" "cannot create a temporary file beside $dir/HopSight.ini: $denied" \
  "cannot create a temporary file beside $dir/HopCache.ini: $denied" "cannot open $dir/hsehtdb.ent: $denied"

dir=$work/file
echo "not a directory" > "$dir"
run "$dir"
expect "$dir" "cannot create a temporary file beside $dir/HopSight.ini: Not a directory" \
  "cannot create a temporary file beside $dir/HopCache.ini: Not a directory" \
  "cannot open $dir/hsehtdb.ent: Not a directory"
[ "$(cat "$dir")" = "not a directory" ] || fail "$dir: the file changed"

if ((root)); then
  dir=$work/immutable
  old_files "$dir"
  touch "$dir/hsehtdb.idx" "$dir/hsehtdb.ent"
  if chattr +i "$dir"/* 2>/dev/null; then
    run "$dir"
    expect "$dir" "cannot replace $dir/HopSight.ini: Operation not permitted" \
      "cannot replace $dir/HopCache.ini: Operation not permitted" \
      "cannot open $dir/hsehtdb.ent: Operation not permitted"
  else
    echo "no chattr +i on this file system: immutable case skipped" >&2
  fi

  dir=$work/others  # root's, run as nobody
  old_files "$dir"
  run "$dir" as-nobody
  expect "$dir" "cannot create a temporary file beside $dir/HopSight.ini: $denied" \
    "cannot create a temporary file beside $dir/HopCache.ini: $denied" "cannot open $dir/hsehtdb.ent: $denied"
fi
((failures == 0)) || exit 1
echo "save failures: each said once, old files intact"
