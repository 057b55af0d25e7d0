#!/usr/bin/env bash
# Makes examples/photo.jpg: a small JPEG carrying the EXIF and GPS a phone or camera would
# write (make, model, exposure, lens, dates, position), for the quick start and the CLI tests.
# Needs ImageMagick's convert and exiftool (Debian: imagemagick, libimage-exiftool-perl).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/examples/photo.jpg}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A 160x120 sky-to-sand gradient with a sun; no metadata of ImageMagick's own.
convert -size 160x120 gradient:'#5b8fd6'-'#e9d9a6' \
  -fill '#fff3b0' -draw 'circle 120,30 132,30' \
  -strip -sampling-factor 2x2 -quality 80 "$work/photo.jpg"

exiftool -q -overwrite_original \
  -Make='Canon' -Model='Canon EOS 5D Mark IV' \
  -Software='Firmware Version 1.2.0' \
  -Artist='Orvel Example' -Copyright='CC0 1.0' \
  -ImageDescription='Beach at Bondi' \
  -Orientation#=1 -XResolution=72 -YResolution=72 -ResolutionUnit=inches \
  -EXIF:ModifyDate='2023:07:14 09:31:02' \
  -DateTimeOriginal='2023:07:14 09:30:00' -CreateDate='2023:07:14 09:30:00' \
  -SubSecTimeOriginal=42 -OffsetTimeOriginal='+10:00' \
  -ExposureTime=1/250 -FNumber=8 -ExposureProgram='Aperture-priority AE' -ISO=100 \
  -ExposureCompensation=-1/3 -MeteringMode='Multi-segment' -EXIF:Flash#=16 \
  -FocalLength=35 -FocalLengthIn35mmFormat=35 -WhiteBalance=Auto -ExposureMode=Auto \
  -SceneCaptureType=Standard -ColorSpace=sRGB \
  -LensMake='Canon' -LensModel='EF24-70mm f/2.8L II USM' -EXIF:SerialNumber='012345678901' \
  -GPSLatitudeRef=S -GPSLatitude='33 53 28.6' -GPSLongitudeRef=E -GPSLongitude='151 16 27.1' \
  -GPSAltitudeRef='Above Sea Level' -GPSAltitude=12.5 \
  -GPSDateStamp='2023:07:13' -GPSTimeStamp='23:30:00' -GPSMapDatum=WGS-84 \
  "$work/photo.jpg"

mkdir -p "$(dirname "$out")"
cp "$work/photo.jpg" "$out"
echo "wrote $out ($(stat -c %s "$out") bytes)"
