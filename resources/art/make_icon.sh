#!/usr/bin/env bash
# Draws the program icon (a stethoscope-like pulse line on a shield-blue disc)
# at the usual icon sizes and packs them into diagnova.ico. Run by hand when the
# artwork changes; the result is committed.
set -euo pipefail
cd "$(dirname "$0")"
IM=/usr/bin/convert
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for s in 16 24 32 48 256; do
  w=$(( s > 24 ? s / 12 : 2 ))
  $IM -size 256x256 xc:none \
    -fill '#1d4f91' -stroke '#0b2a55' -strokewidth 10 -draw 'circle 128,128 128,8' \
    -fill none -stroke '#7fe0ff' -strokewidth 22 \
    -draw "stroke-linejoin round stroke-linecap round path 'M 36,140 L 86,140 L 108,84 L 140,188 L 164,112 L 180,140 L 220,140'" \
    -resize ${s}x${s} -define png:format=png32 "$tmp/icon_$s.png"
done
$IM "$tmp"/icon_16.png "$tmp"/icon_24.png "$tmp"/icon_32.png "$tmp"/icon_48.png "$tmp"/icon_256.png diagnova.ico
echo "wrote $(pwd)/diagnova.ico"
