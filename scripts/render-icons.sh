#!/usr/bin/env bash
# Renders the PNG sizes of the application icon from its SVG (needs rsvg-convert, Debian
# librsvg2-bin). The PNGs are kept in the tree, so building never needs the renderer.
set -euo pipefail
dir=$(cd "$(dirname "$0")/../src/res/icons" && pwd)
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" "$dir/horalet.svg" -o "$dir/horalet-$size.png"
done
