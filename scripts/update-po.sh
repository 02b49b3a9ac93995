#!/usr/bin/env bash
# Extracts every marked text (NC_) of the programs into po/hopsight.pot and
# merges it into each language's catalogue, where new texts appear
# untranslated until a translator fills them in.
#   scripts/update-po.sh [--check]
# With --check nothing is written: the exit status is 1 when po/hopsight.pot
# is not what the sources give.
set -euo pipefail
cd "$(dirname "$0")/.."
check=0
[ "${1:-}" = "--check" ] && check=1

pot=$(mktemp /tmp/hopsight-pot-XXXXXX)
trap 'rm -f "$pot"' EXIT
# Every C++ source that the programs are built from (tests and tools say
# nothing to users).
git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | grep -v -E '^(tests|bench|tools)/' | LC_ALL=C sort |
  xgettext --files-from=- --language=C++ --from-code=UTF-8 --keyword= --keyword=NC_:1c,2 \
    --add-comments=TRANSLATORS: --add-location=file --sort-by-file --package-name=HopSight \
    --msgid-bugs-address=none --output="$pot"
# The creation date changes at every run; it says nothing about the texts.
sed -i '/^"POT-Creation-Date:/d' "$pot"
# The texts are UTF-8; saying so lets msgen and msgfmt take the template as it is.
sed -i "s/charset=CHARSET/charset=UTF-8/" "$pot"
if ((check)); then
  diff -u po/hopsight.pot "$pot" >&2 || { echo "po/hopsight.pot is out of date: run scripts/update-po.sh" >&2; exit 1; }
  exit 0
fi
cp "$pot" po/hopsight.pot
# A text whose context changed (its number was moved) but whose English did
# not keeps its translation; msgmerge marks it fuzzy with the previous msgid,
# and the awk step below clears that mark when the previous msgid is the
# msgid. The same finds translations prepared ahead of the code, kept as
# obsolete entries (#~). Other fuzzy guesses stay fuzzy for a translator.
for po in po/??.po; do
  [ -f "$po" ] || continue
  msgmerge --quiet --previous --sort-by-file --output-file="$pot.merged" "$po" po/hopsight.pot
  awk -f scripts/po-context-moved.awk "$pot.merged" >"$po"
  rm -f "$pot.merged"
done
