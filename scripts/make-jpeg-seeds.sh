#!/usr/bin/env bash
# Seeds of the JPEG fuzz targets: small cjpeg files of each sampling, with and without restart
# markers, and a few pixel buffers for the encoder round trip.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/fuzz/corpus/jpeg rt=$root/fuzz/corpus/jpeg_roundtrip
mkdir -p "$out" "$rt"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$work" <<'PY'
import sys
w, h = 19, 13
data = bytes(((x * 13 + y * 7 + c * 40) % 256) for y in range(h) for x in range(w) for c in range(3))
open(sys.argv[1] + "/in.ppm", "wb").write(b"P6\n%d %d\n255\n" % (w, h) + data)
PY
cjpeg -baseline -quality 75 -sample 1x1 "$work/in.ppm" > "$out/444.jpg"
cjpeg -baseline -quality 50 -sample 2x2 -restart 1B "$work/in.ppm" > "$out/420_restart.jpg"
cjpeg -baseline -quality 90 -sample 2x1 "$work/in.ppm" > "$out/422.jpg"
cjpeg -baseline -quality 30 -grayscale -sample 2x2 "$work/in.ppm" > "$out/gray_2x2.jpg"
printf '\x00\x07\x5a' > "$rt/gray"; head -c 200 /dev/zero | tr '\0' '\200' >> "$rt/gray"
printf '\x01\x09\x64' > "$rt/rgb"; tail -c +14 "$work/in.ppm" | head -c 300 >> "$rt/rgb"
