#!/usr/bin/env bash
# hopsight-trace and hopsight-locd in a clean environment that names a
# language whose locale is not generated on the machine: they speak it, and
# LANG=C keeps them English whatever LANGUAGE says. Traces 127.0.0.1 only.
#   cli_languages.sh HOPSIGHT_TRACE [HOPSIGHT_LOCD]
set -uo pipefail
trace=$1
locd=${2:-}
work=$(mktemp -d /tmp/hopsight-langs-XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

run() {  # run NAME VAR=VALUE... -- ARGS...: stdout in $work/NAME.out, stderr in $work/NAME.err
  local name=$1; shift
  local vars=()
  while [ "$1" != "--" ]; do vars+=("$1"); shift; done
  shift
  env -i PATH="$PATH" HOME="$work" "${vars[@]}" "$trace" "$@" >"$work/$name.out" 2>"$work/$name.err"
  echo $?
}
has() {  # has FILE TEXT
  grep -qF -- "$2" "$1" || fail "$(basename "$1") lacks \"$2\":"$'\n'"$(cat "$1")"
}

locale -a 2>/dev/null | grep -qi "^ja_JP\.utf-\?8$" && echo "note: ja_JP is generated here, the test runs all the same" >&2

rc=$(run ja LANG=ja_JP.UTF-8 -- --no-whois --no-geo --data-dir "$work/ja" 127.0.0.1)
[ "$rc" = 3 ] && { echo "no ICMP socket for this user: skipped" >&2; exit 77; }
[ "$rc" = 0 ] || fail "ja: exit $rc"
has "$work/ja.err" "トレースが完了しました"
has "$work/ja.out" "IP アドレス"

rc=$(run c LANG=C LANGUAGE=de -- --no-whois --no-geo --data-dir "$work/c" 127.0.0.1)
[ "$rc" = 0 ] || fail "C: exit $rc"
has "$work/c.err" "Trace completed"

rc=$(run help LANGUAGE=de LANG=de_DE.UTF-8 -- --help)
has "$work/help.err" "Aufruf: hopsight-trace"
has "$work/help.err" "  --json    gibt am Ende"

if [ -n "$locd" ]; then
  env -i PATH="$PATH" LANG=es_ES.UTF-8 "$locd" --bogus value >/dev/null 2>"$work/locd.err"
  has "$work/locd.err" "hopsight-locd: opción desconocida --bogus"
  has "$work/locd.err" "uso: hopsight-locd"
fi
exit $((failures > 0))
