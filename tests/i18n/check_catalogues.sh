#!/usr/bin/env bash
# The catalogues against the code: po/hopsight.pot holds exactly the texts
# that the sources mark, every catalogue translates each of them (an
# untranslated or fuzzy entry counts as missing), and msgfmt --check finds
# no translation that drops or changes a printf directive.
set -uo pipefail
cd "$(dirname "$0")/../.."
failures=0
scripts/update-po.sh --check || failures=$((failures + 1))
for po in po/??.po; do
  msgcmp "$po" po/hopsight.pot || { echo "FAIL: $po lacks texts of po/hopsight.pot" >&2; failures=$((failures + 1)); }
  msgfmt --check --output-file=/dev/null "$po" || { echo "FAIL: $po" >&2; failures=$((failures + 1)); }
done
[ "$(ls po/??.po | wc -l)" = 5 ] || { echo "FAIL: expected five catalogues" >&2; failures=$((failures + 1)); }
exit $((failures > 0))
