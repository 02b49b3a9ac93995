#!/usr/bin/env bash
# hopsight-trace and hopsight-locd in a clean environment that names a
# language whose locale is not generated on the machine: they speak it,
# LANG=C keeps them English whatever LANGUAGE says, and --json is the same
# in every language. Traces 127.0.0.1 only.
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

for l in ja_JP fr_FR; do
  locale -a 2>/dev/null | grep -qi "^$l\.utf-\?8$" && echo "note: $l is generated here, the test runs all the same" >&2
done

rc=$(run ja LANG=ja_JP.UTF-8 -- --no-whois --no-geo --data-dir "$work/ja" 127.0.0.1)
[ "$rc" = 3 ] && { echo "no ICMP socket for this user: skipped" >&2; exit 77; }
[ "$rc" = 0 ] || fail "ja: exit $rc"
has "$work/ja.err" "トレースが完了しました"
has "$work/ja.out" "IP アドレス"

rc=$(run fr LC_ALL=fr_FR.UTF-8 LANG=de_DE.UTF-8 -- --no-whois --no-geo --data-dir "$work/fr" 127.0.0.1)
[ "$rc" = 0 ] || fail "fr: exit $rc"
has "$work/fr.err" "Traçage terminé"
has "$work/fr.out" "Adresse IP"

rc=$(run c LANG=C LANGUAGE=de -- --no-whois --no-geo --data-dir "$work/c" 127.0.0.1)
[ "$rc" = 0 ] || fail "C: exit $rc"
has "$work/c.err" "Trace completed"

# --json: English names and the same fields in every language (times aside).
for l in en de ja; do
  rc=$(run "json-$l" LANGUAGE="$l" LANG=en_US.UTF-8 -- --json --quiet --no-whois --no-geo --data-dir "$work/$l" 127.0.0.1)
  [ "$rc" = 0 ] || fail "json $l: exit $rc"
  sed -E 's/"rtt":[0-9a-z]+/"rtt":T/g' "$work/json-$l.out" >"$work/json-$l.norm"
done
cmp -s "$work/json-en.norm" "$work/json-de.norm" || fail "--json differs in German:"$'\n'"$(diff "$work/json-en.norm" "$work/json-de.norm")"
cmp -s "$work/json-en.norm" "$work/json-ja.norm" || fail "--json differs in Japanese"
has "$work/json-de.norm" '"completed":true'

rc=$(run help LANGUAGE=de LANG=de_DE.UTF-8 -- --help)
has "$work/help.err" "Aufruf: hopsight-trace"
has "$work/help.err" "  --json    gibt am Ende"

if [ -n "$locd" ]; then
  env -i PATH="$PATH" LANG=es_ES.UTF-8 "$locd" --bogus value >/dev/null 2>"$work/locd.err"
  has "$work/locd.err" "hopsight-locd: opción desconocida --bogus"
  has "$work/locd.err" "uso: hopsight-locd"
fi
exit $((failures > 0))
