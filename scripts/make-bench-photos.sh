#!/usr/bin/env bash
# Makes camera-like JPEGs of 1 to 20 MB for the strip and write benchmarks, never committed:
# photo-like content (fractal clouds with sensor noise, from netpbm) encoded by cjpeg at camera
# sizes and qualities, then given a camera's EXIF by exiftool: the tags and Canon maker note of
# the sample camera photo among the fuzz seeds, a thumbnail, XMP and IPTC.
#   scripts/make-bench-photos.sh DIR [COUNT]   (COUNT photos, 24 by default; DIR/large.jpg is
#                                               the largest, about 19 MB)
# Needs netpbm, libjpeg-turbo-progs and libimage-exiftool-perl (scripts/deps.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$1
count=${2:-24}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Width, height and quality: phones and compacts (12 MP) up to full-frame bodies (24 MP).
sizes=("2048 1536 92" "3000 2000 90" "4000 3000 92" "4032 3024 94" "5472 3648 95" "6000 4000 97")

# photo SEED WIDTH HEIGHT QUALITY FILE
photo() {
  local seed=$1 width=$2 height=$3 quality=$4 file=$5
  ppmforge -clouds -seed "$seed" -width "$width" -height "$height" 2>/dev/null >"$work/sky.ppm"
  pgmnoise -randomseed "$seed" "$width" "$height" 2>/dev/null | pamfunc -multiplier 0.12 2>/dev/null |
    pgmtoppm white 2>/dev/null >"$work/noise.ppm"
  pamarith -add "$work/sky.ppm" "$work/noise.ppm" 2>/dev/null >"$work/photo.ppm"
  cjpeg -quality "$quality" -optimize "$work/photo.ppm" >"$file"
  pamscale -xysize 160 120 "$work/photo.ppm" 2>/dev/null | cjpeg -quality 75 >"$work/thumb.jpg"
  exiftool -q -q -overwrite_original -TagsFromFile "$root/fuzz/corpus/metadata/camera_le.jpg" \
    -EXIF:all -MakerNotes:all \
    "-ThumbnailImage<=$work/thumb.jpg" -ExifImageWidth="$width" -ExifImageHeight="$height" \
    -XMP:Title='Harbour at dusk' -XMP:Creator='Orvel Bench' -XMP:Rating=4 \
    '-XMP:Subject=harbour' '-XMP:Subject=boats' -IPTC:By-line='Orvel Bench' \
    -IPTC:City='Sydney' -IPTC:Caption-Abstract='Boats at the quay' "$file"
}

for ((i = 0; i < count; ++i)); do
  read -r width height quality <<<"${sizes[i % ${#sizes[@]}]}"
  photo $((i + 1)) "$width" "$height" "$quality" "$out/photo$(printf %02d "$i").jpg"
done
photo 99 6000 4000 100 "$out/large.jpg"
echo "wrote $count photos and large.jpg ($(stat -c %s "$out/large.jpg") bytes) to $out"
