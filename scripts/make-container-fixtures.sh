#!/usr/bin/env bash
# Makes tests/fixtures/containers/: small real files of every container whose metadata the
# library reads besides JPEG and TIFF.
#   still.heic, still.avif   HEIF stills with an Exif item (make, model, date, orientation, GPS)
#                            and an XMP item, from a JPEG through heif-enc
#   movie_keys.mp4           MP4 whose make, model, software and creation date are keyed items
#                            in a "meta" box with version and flags (ffmpeg)
#   movie_phone.mov          QuickTime movie keyed the way phones write it: "meta" without
#                            version and flags, items naming keys by 32-bit index (exiftool)
#   chunks.png               eXIf, tEXt, zTXt, plain and compressed iTXt and an XMP iTXt
#   simple.webp              lossy WebP without VP8X
#   extended.webp            VP8X with EXIF and XMP chunks (webpmux)
# Needs: imagemagick, libimage-exiftool-perl, libheif-examples, ffmpeg, webp.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/tests/fixtures/containers}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
quiet=(-q -overwrite_original)

# A small photo with the EXIF and XMP a phone writes.
convert rose: -resize '64x48!' -strip -quality 85 "$work/photo.jpg"
exiftool "${quiet[@]}" -Make=Apple -Model='iPhone 14' -Software=16.5 \
  -DateTimeOriginal='2023:06:01 14:34:56' -Orientation#=6 \
  -GPSLatitudeRef=S -GPSLatitude=33.8666 -GPSLongitudeRef=E -GPSLongitude=151.2 \
  -XMP-dc:Title=Rose -XMP-xmp:Rating=4 "$work/photo.jpg"
heif-enc -q 30 "$work/photo.jpg" -o "$out/still.heic" >/dev/null
heif-enc -q 30 -A "$work/photo.jpg" -o "$out/still.avif" >/dev/null

# Movies: one second of a 64x48 test pattern.
movie=(-hide_banner -loglevel error -y -f lavfi -i testsrc=size=64x48:rate=5 -t 1
       -c:v mpeg4 -q:v 20 -metadata creation_time=2023-06-01T12:34:56Z)
ffmpeg "${movie[@]}" -movflags use_metadata_tags \
  -metadata com.apple.quicktime.make=Canon -metadata com.apple.quicktime.model='EOS R6' \
  -metadata com.apple.quicktime.software='Firmware 1.2' \
  -metadata com.apple.quicktime.creationdate=2023-06-01T14:34:56+0200 "$out/movie_keys.mp4"
ffmpeg "${movie[@]}" "$work/plain.mov"
exiftool "${quiet[@]}" -Keys:Make=Apple -Keys:Model='iPhone 14' -Keys:Software=16.5 \
  -Keys:CreationDate='2023:06:01 14:34:56+02:00' "$work/plain.mov"
cp "$work/plain.mov" "$out/movie_phone.mov"

# PNG with every metadata chunk: exiftool writes eXIf for EXIF, tEXt for Latin-1 text,
# zTXt or compressed iTXt with -z, iTXt for other text and for XMP.
convert rose: -resize '16x12!' -strip "$out/chunks.png"
exiftool "${quiet[@]}" -EXIF:Make=Canon -EXIF:Model='EOS R6' \
  -EXIF:DateTimeOriginal='2023:06:01 14:34:56' -PNG:Title=Rose "$out/chunks.png"
exiftool "${quiet[@]}" -z -PNG:Description='A red rose, compressed, compressed, compressed' \
  -PNG:Author='Ωmega Ωmega Ωmega Ωmega Ωmega Ωmega' "$out/chunks.png"
exiftool "${quiet[@]}" -PNG:Copyright='Ωpen' -XMP-dc:Creator=Jane "$out/chunks.png"

# WebP: a simple lossy file, and an extended one carrying the PNG's EXIF and an XMP packet.
cwebp -quiet -q 50 "$out/chunks.png" -metadata none -o "$out/simple.webp"
exiftool -b -EXIF "$out/chunks.png" >"$work/exif.bin"
exiftool -b -XMP "$out/chunks.png" >"$work/xmp.xml"
webpmux -set exif "$work/exif.bin" "$out/simple.webp" -o "$work/with_exif.webp" >/dev/null 2>&1
webpmux -set xmp "$work/xmp.xml" "$work/with_exif.webp" -o "$out/extended.webp" >/dev/null 2>&1

for file in "$out"/*; do
  size=$(stat -c %s "$file")
  if [ "$size" -ge 204800 ]; then echo "fixture too large: $file ($size bytes)" >&2; exit 1; fi
done
