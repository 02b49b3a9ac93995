#!/usr/bin/env bash
# Pictures of the home location wizard under Xvfb, into docs/images:
#   wizard-1-contact.png         step one, before the country list is fetched
#   wizard-2-country.png         step two with the suggested country (postcode level)
#   wizard-2-city.png            a city-level country with its hint
#   wizard-2-city-state.png      a city-and-state country
#   wizard-2-postcode.png        a postcode country, filled in
#   wizard-3-finished.png        the last step
#   wizard-advanced.png          the advanced view with the crosshair on the home location
#   wizard-advanced-out-of-range.png   a latitude beyond 90
#   wizard-box-*.png             the wizard's questions and the advanced view's check
#   wizard-de-*.png wizard-ja-*.png   steps one to three and the advanced view in German and Japanese
# The location server is a scripted one on loopback.
#   scripts/wizard-screenshots.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
out=$(realpath -m "${2:-docs/images}")
mkdir -p "$out"
command -v xvfb-run >/dev/null || { echo "wizard-screenshots: xvfb-run is missing (scripts/bootstrap.sh)" >&2; exit 1; }
xvfb-run -a -s "-screen 0 1280x800x24" env LANGUAGE= LANG=C.UTF-8 "$build/tests/ui-wizard-snapshots" "$build/bin/maps" "$out"
# Languages whose locales need not exist here: the program reads only the names.
for locale in de_DE ja_JP; do
  xvfb-run -a -s "-screen 0 1280x800x24" env LANGUAGE= LANG=$locale.UTF-8 \
    "$build/tests/ui-wizard-snapshots" "$build/bin/maps" "$out"
done
