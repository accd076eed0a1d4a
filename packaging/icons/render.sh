#!/usr/bin/env bash
# Renders the committed PNG sizes of the icon from latisvnc.svg (needs Debian's librsvg2-bin and
# imagemagick). Run after changing the SVG; the build installs the PNGs as they are committed.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" latisvnc.svg -o "latisvnc-$size.png"
    /usr/bin/convert "latisvnc-$size.png" -strip "latisvnc-$size.png" # no timestamps: same bytes each run
done
