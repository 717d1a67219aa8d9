#!/bin/sh
# Draws Velmora's icon (a chip with a "V" on it) in five sizes and packs them into
# src/app/velmora.ico. Needs ImageMagick 6; run it again after changing the drawing.
set -eu
cd "$(dirname "$0")/.."
convert=/usr/bin/convert-im6.q16
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The master drawing at 256x256: a dark package with gold pins and a green "V".
$convert -size 256x256 xc:none \
    -fill '#c8a040' \
    -draw 'rectangle 68,16 80,240' \
    -draw 'rectangle 16,68 240,80' \
    -draw 'rectangle 104,16 116,240' \
    -draw 'rectangle 16,104 240,116' \
    -draw 'rectangle 140,16 152,240' \
    -draw 'rectangle 16,140 240,152' \
    -draw 'rectangle 176,16 188,240' \
    -draw 'rectangle 16,176 240,188' \
    -fill '#202428' -stroke '#60656a' -strokewidth 6 \
    -draw 'roundrectangle 44,44 212,212 18,18' \
    -stroke none -fill '#30e060' \
    -draw 'polygon 80,78 104,78 128,160 152,78 176,78 140,184 116,184' \
    "$work/master.png"

for size in 16 24 32 48 256; do
    $convert "$work/master.png" -resize ${size}x${size} "$work/icon-$size.png"
done
$convert "$work/icon-16.png" "$work/icon-24.png" "$work/icon-32.png" "$work/icon-48.png" \
    "$work/icon-256.png" src/app/velmora.ico
echo "wrote src/app/velmora.ico"
