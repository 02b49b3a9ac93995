#!/usr/bin/env bash
# Renders the map pictures of the README into docs/images/ from the maps the
# build makes and a made-up trace across three continents (docs/images/demo-trace.json).
#   scripts/render-map-images.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target hopsight-mapview hopsight-maps >/dev/null
export QT_QPA_PLATFORM=offscreen
view="$build/bin/hopsight-mapview"
trace=docs/images/demo-trace.json
# 2025 pixels: the width at which the world fits the coarsest scale exactly.
"$view" --maps "$build/bin/maps" --png docs/images/map-world.png --size 2025x1013 --whole-world "$trace"
# Zoomed on Europe: the viewport switches to the regional map.
"$view" --maps "$build/bin/maps" --png docs/images/map-europe.png --size 1280x720 --zoom 50.5,10,3 "$trace"
echo "wrote docs/images/map-world.png docs/images/map-europe.png"
