#!/usr/bin/env bash
# hopsight-trace with a data directory it cannot save into: the trace is still
# shown, stderr says once per file what could not be saved or recorded and
# why, and the old files stay as they were. Traces 127.0.0.1 only.
#   save_failures.sh HOPSIGHT_TRACE
# Cases: a read-only directory, a file where the directory should be, and as
# root an immutable file (chattr +i) and a directory owned by another user.
# As root, "another user" is nobody, run through setpriv with the raw ICMP
# socket allowed.
set -uo pipefail
trace=$1
work=$(mktemp -d /tmp/hopsight-save-XXXXXX)
chmod 755 "$work"
cleanup() {
  chattr -R -i "$work" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
root=0
[ "$(id -u)" = 0 ] && root=1
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

as_nobody() {
  setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=+net_raw --ambient-caps=+net_raw "$@"
}

# run DIR [as-nobody]: traces with --record into DIR; sets out, err, rc.
run() {
  local cmd=("$trace" --quiet --record --data-dir "$1" 127.0.0.1)
  [ "${2:-}" = as-nobody ] && cmd=(as_nobody "${cmd[@]}")
  out=$("${cmd[@]}" 2>"$work/stderr")
  rc=$?
  err=$(cat "$work/stderr")
}

# Files a former run left. Neither is in the form the next save writes, so
# every save has something to write.
old_files() {
  mkdir -p "$1"
  printf '[options]\nsound=0\nstart location=2,48.100000,11.500000,130\n' > "$1/HopSight.ini"
  printf '[dns]\ncount=1\n198.18.0.1:%s=r1.example\n' "$(date +%s)" > "$1/HopCache.ini"
  cp "$1/HopSight.ini" "$work/settings.before"
  cp "$1/HopCache.ini" "$work/caches.before"
}

# expect CASE LINE...: the trace was shown, each line is on stderr exactly
# once, nothing else is, and the old files are intact.
expect() {
  local name=$1 dir=$2 line
  shift 2
  [ "$rc" = 0 ] || fail "$name: exit $rc"
  grep -q "127.0.0.1" <<<"$out" || fail "$name: no trace shown"
  for line in "$@"; do
    [ "$(grep -cxF "hopsight-trace: $line" <<<"$err")" = 1 ] || fail "$name: not said once: $line"$'\n'"$err"
  done
  [ "$(grep -c '^hopsight-trace:' <<<"$err")" = $# ] || fail "$name: other messages:"$'\n'"$err"
  if [ -d "$dir" ]; then
    cmp -s "$dir/HopSight.ini" "$work/settings.before" || fail "$name: the settings file changed"
    cmp -s "$dir/HopCache.ini" "$work/caches.before" || fail "$name: the cache file changed"
  fi
}

# A good directory first: the trace works here, and nothing is said.
run "$work/good"
if [ "$rc" = 3 ]; then
  echo "no ICMP socket for this user: skipped" >&2
  exit 77
fi
[ "$rc" = 0 ] && [ -z "$err" ] || fail "good directory: exit $rc, stderr: $err"

# A read-only directory (as root: read-only for nobody, who owns it).
dir=$work/readonly
old_files "$dir"
chmod 555 "$dir"
if ((root)); then
  chown -R 65534:65534 "$dir"
  run "$dir" as-nobody
else
  run "$dir"
fi
expect "read-only directory" "$dir" \
  "settings not saved: cannot create a temporary file beside $dir/HopSight.ini: Permission denied" \
  "lookup caches not saved: cannot create a temporary file beside $dir/HopCache.ini: Permission denied" \
  "trace not recorded: cannot open $dir/hsehtdb.ent: Permission denied"

# A file where the directory should be.
dir=$work/file
echo "not a directory" > "$dir"
run "$dir"
expect "file for a directory" "$dir" \
  "settings not saved: cannot create a temporary file beside $dir/HopSight.ini: Not a directory" \
  "lookup caches not saved: cannot create a temporary file beside $dir/HopCache.ini: Not a directory" \
  "trace not recorded: cannot open $dir/hsehtdb.ent: Not a directory"
[ "$(cat "$dir")" = "not a directory" ] || fail "file for a directory: the file changed"

if ((root)); then
  # Immutable files (where the file system has the flag).
  dir=$work/immutable
  old_files "$dir"
  touch "$dir/hsehtdb.idx" "$dir/hsehtdb.ent"
  if chattr +i "$dir/HopSight.ini" "$dir/HopCache.ini" "$dir/hsehtdb.idx" "$dir/hsehtdb.ent" 2>/dev/null; then
    run "$dir"
    expect "immutable files" "$dir" \
      "settings not saved: cannot replace $dir/HopSight.ini: Operation not permitted" \
      "lookup caches not saved: cannot replace $dir/HopCache.ini: Operation not permitted" \
      "trace not recorded: cannot open $dir/hsehtdb.ent: Operation not permitted"
    [ -s "$dir/hsehtdb.ent" ] && fail "immutable files: the history was written"
  else
    echo "no chattr +i on this file system: immutable case skipped" >&2
  fi

  # A directory owned by another user (root), run as nobody.
  dir=$work/others
  old_files "$dir"
  run "$dir" as-nobody
  expect "another user's directory" "$dir" \
    "settings not saved: cannot create a temporary file beside $dir/HopSight.ini: Permission denied" \
    "lookup caches not saved: cannot create a temporary file beside $dir/HopCache.ini: Permission denied" \
    "trace not recorded: cannot open $dir/hsehtdb.ent: Permission denied"
fi

((failures == 0)) || exit 1
echo "save failures: all cases said once, old files intact"
