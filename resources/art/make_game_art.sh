#!/usr/bin/env bash
# Draws the game artwork: for each of the four games a 96 x 96 list tile
# (24-bit BMP, black where the mask is transparent, as the image list
# expects), a tall left picture and a wide top picture (JPEG) for the test
# pane, plus the list's shared mask (monochrome BMP, white = transparent) and
# the overlay badge (magenta = transparent). Run by hand when the artwork
# changes; the results are committed.
#
# The picture sizes are those of the test pane's hidden frames at 96 DPI with
# the dialog font: the left frame 89 x 266 dialog units is about 134 x 432
# pixels, the top frame 298 x 44 units about 447 x 72 pixels. The JPEGs carry
# 96 DPI so that the picture loader reports them at their pixel size.
set -euo pipefail
cd "$(dirname "$0")"
IM=/usr/bin/convert
SERIF=DejaVu-Serif-Bold

# game key, gradient top, gradient bottom, accent, glow, title
games=(
  "runeveil|#120b33|#5a2d8c|#c7a8ff|#7d5cff|Runeveil"
  "runeveil2|#2a0508|#9c1c1c|#ffcf5a|#ff7a2e|Runeveil 2"
  "kharros2|#3b1a05|#e0822a|#ffe3a3|#ffb347|Kharros II"
  "solmere|#06343f|#3fa6a6|#ffe08a|#ffd15c|Solmere"
)

# The motif of each game, drawn into a square canvas of side $2 (file $3).
motif() {
  local key=$1 s=$2 out=$3 accent=$4 glow=$5
  local c=$((s / 2)) r=$((s * 3 / 10)) r2=$((s * 2 / 10)) w=$((s / 40 + 1))
  # The ground under a motif (ridge, sea) fades out in a soft disc: opaque
  # in the middle, clear before the square's edges, so on a banner it has the
  # emblem's round shape instead of a dark band with straight edges.
  local mask="$tmp/fade$s.png"
  $IM -size ${s}x${s} -define gradient:extent=Inscribed radial-gradient:white-black \
    -level 0,35% -alpha copy "$mask"
  case $key in
    runeveil|runeveil2)
      # A glowing rune circle with a veil-like arc and the rune strokes.
      $IM -size ${s}x${s} xc:none \
        -fill none -stroke "$glow" -strokewidth $((w * 4)) -draw "circle $c,$c $c,$((c - r))" -blur 0x$((w * 3)) \
        -stroke "$accent" -strokewidth $w -draw "circle $c,$c $c,$((c - r))" \
        -draw "circle $c,$c $c,$((c - r2))" \
        -strokewidth $((w * 2)) -draw "line $c,$((c - r2)) $c,$((c + r2))" \
        -draw "line $((c - r2 * 7 / 10)),$((c - r2 / 3)) $((c + r2 * 7 / 10)),$((c + r2 / 3))" \
        -draw "line $((c - r2 * 7 / 10)),$((c + r2 / 3)) $((c + r2 * 7 / 10)),$((c - r2 / 3))" \
        -fill "$accent" -stroke none \
        -draw "circle $((c - r)),$c $((c - r + w * 2)),$c" -draw "circle $((c + r)),$c $((c + r + w * 2)),$c" \
        -draw "circle $c,$((c - r)) $((c + w * 2)),$((c - r))" -draw "circle $c,$((c + r)) $((c + w * 2)),$((c + r))" \
        "$out" ;;
    kharros2)
      # Two crossed blades over a mountain ridge.
      local b=$((s * 8 / 10)) t=$((s * 2 / 10))
      $IM -size ${s}x${s} xc:none \
        -fill '#2a1204' -stroke none \
        -draw "polygon 0,$s $((s / 4)),$((s * 6 / 10)) $((s * 4 / 10)),$((s * 75 / 100)) $((s * 65 / 100)),$((s * 5 / 10)) $s,$((s * 85 / 100)) $s,$s" \
        "$mask" -compose DstIn -composite -compose over \
        -stroke "$glow" -strokewidth $((w * 5)) -draw "line $t,$t $b,$b" -draw "line $b,$t $t,$b" -blur 0x$((w * 2)) \
        -stroke "$accent" -strokewidth $((w * 2)) -draw "line $t,$t $b,$b" -draw "line $b,$t $t,$b" \
        -stroke '#5a2a08' -strokewidth $((w * 3)) \
        -draw "line $((b - s / 10)),$((b - s / 30)) $((b - s / 30)),$((b - s / 10))" \
        -draw "line $((t + s / 10)),$((b - s / 30)) $((t + s / 30)),$((b - s / 10))" \
        "$out" ;;
    solmere)
      # A low sun over the sea with its reflection.
      local h=$((s * 6 / 10))
      $IM -size ${s}x${s} xc:none \
        -fill "$glow" -stroke none -draw "circle $c,$h $c,$((h - r))" -blur 0x$((w * 3)) \
        -fill "$accent" -draw "circle $c,$h $c,$((h - r * 8 / 10))" \
        \( -size ${s}x${s} xc:none -fill '#0b4d5a' -draw "rectangle 0,$h $s,$s" \
           "$mask" -compose DstIn -composite \) -compose over -composite \
        -fill "$accent" -draw "rectangle $((c - r * 6 / 10)),$((h + s / 20)) $((c + r * 6 / 10)),$((h + s / 20 + w * 2))" \
        -draw "rectangle $((c - r * 4 / 10)),$((h + s / 8)) $((c + r * 4 / 10)),$((h + s / 8 + w * 2))" \
        -draw "rectangle $((c - r * 2 / 10)),$((h + s / 5)) $((c + r * 2 / 10)),$((h + s / 5 + w * 2))" \
        "$out" ;;
  esac
}

# A few stars for the night skies.
stars() {
  local wdt=$1 hgt=$2 seed=$3 n=$4 args=()
  RANDOM=$seed
  for _ in $(seq "$n"); do
    local x=$((RANDOM % wdt)) y=$((RANDOM % (hgt * 6 / 10)))
    args+=(-draw "point $x,$y")
  done
  printf '%s\n' "${args[@]}"
}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Shared mask: a rounded tile, black (opaque) inside, white outside.
$IM -size 96x96 xc:white -fill black -draw "roundrectangle 2,2 93,93 14,14" \
  -monochrome -type bilevel BMP3:list_mask.bmp

# Overlay badge: a small pulse mark in the lower right corner on magenta.
$IM -size 96x96 xc:'#ff00ff' \
  +antialias -fill '#1d4f91' -stroke white -strokewidth 2 -draw "circle 78,78 78,62" \
  -fill none -stroke '#7fe0ff' -strokewidth 3 \
  -draw "stroke-linejoin round path 'M 66,79 L 72,79 L 75,71 L 80,86 L 83,77 L 90,77'" \
  -type truecolor BMP3:list_overlay.bmp

for game in "${games[@]}"; do
  IFS='|' read -r key top bottom accent glow title <<<"$game"
  seed=$(printf '%s' "$key" | cksum | cut -d' ' -f1)

  # List tile.
  motif "$key" 96 "$tmp/m96.png" "$accent" "$glow"
  mapfile -t st < <(stars 96 96 "$seed" 14)
  $IM -size 96x96 gradient:"$top"-"$bottom" -fill '#ffffffb0' "${st[@]}" \
    "$tmp/m96.png" -composite \
    -fill none -stroke "$accent" -strokewidth 2 -draw "roundrectangle 3,3 92,92 13,13" \
    \( list_mask.bmp -negate \) -alpha off -compose multiply -composite \
    -type truecolor BMP3:"list_$key.bmp"

  # Left picture: sky, the motif, and the title written upwards.
  motif "$key" 134 "$tmp/m134.png" "$accent" "$glow"
  mapfile -t st < <(stars 134 432 "$seed" 40)
  $IM -size 134x432 gradient:"$top"-"$bottom" -fill '#ffffffc0' "${st[@]}" \
    "$tmp/m134.png" -geometry +0+40 -composite \
    \( -size 300x60 xc:none -font "$SERIF" -pointsize 34 -fill '#00000080' -gravity center \
       -annotate +2+2 "$title" -fill "$accent" -annotate +0+0 "$title" -rotate -90 \) \
    -gravity south -geometry +0+24 -composite \
    -gravity northwest -fill none -stroke "$accent" -strokewidth 2 -draw "rectangle 1,1 132,430" \
    -density 96 -units PixelsPerInch -quality 92 "left_$key.jpg"

  # Top picture: a banner with the motif on the left and the title.
  motif "$key" 72 "$tmp/m72.png" "$accent" "$glow"
  mapfile -t st < <(stars 447 72 "$seed" 30)
  $IM -size 72x447 gradient:"$top"-"$bottom" -rotate 90 -fill '#ffffffb0' "${st[@]}" \
    "$tmp/m72.png" -geometry +8+0 -composite \
    -font "$SERIF" -pointsize 30 -gravity west -fill '#00000080' -annotate +94+2 "$title" \
    -fill "$accent" -annotate +92+0 "$title" \
    -font DejaVu-Sans -pointsize 12 -gravity southeast -fill '#ffffffd0' -annotate +10+6 "Orvane Diagnova" \
    -gravity northwest -fill none -stroke "$accent" -strokewidth 2 -draw "rectangle 1,1 445,70" \
    -density 96 -units PixelsPerInch -quality 92 "top_$key.jpg"
done
echo "wrote the game artwork in $(pwd)"
