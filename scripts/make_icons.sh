#!/usr/bin/env bash
# Renders the program's icon (src/res/icons/orvanta.svg) to the PNG sizes the program and the
# desktop use, and to the two the station page's web app manifest names (192 and 512, compiled
# into the engine from modules/engine/web/assets/). The PNGs are committed; run this only after
# changing the SVG.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v rsvg-convert >/dev/null; then
    as_root=()
    [[ $(id -u) -ne 0 ]] && as_root=(sudo)
    "${as_root[@]}" apt-get install -y -qq --no-install-recommends librsvg2-bin
fi
for size in 16 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" src/res/icons/orvanta.svg -o "src/res/icons/orvanta-$size.png"
done
for size in 192 512; do
    rsvg-convert -w "$size" -h "$size" src/res/icons/orvanta.svg -o "modules/engine/web/assets/icon-$size.png"
done
