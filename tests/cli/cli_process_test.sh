#!/usr/bin/env bash
# orvel resize, rotate, crop, orient and thumbnail on built images: output sizes, the pixel a
# turn moves, EXIF orientation from a PNG eXIf chunk, and exit status 2 for bad input.
set -euo pipefail
orvel=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$work" <<'PY'
import sys
from PIL import Image
image = Image.new("RGB", (80, 60), (10, 20, 30))
image.putpixel((0, 0), (250, 0, 0))
image.save(sys.argv[1] + "/in.png")
exif = Image.Exif()
exif[0x0112] = 6  # stored turned: the upright picture is the stored one turned clockwise
image.save(sys.argv[1] + "/turned.png", exif=exif)
PY
fail() { echo "FAIL: $*"; exit 1; }
size() { "$orvel" info "$1" | cut -f3; }
pixel() { /usr/bin/python3 -c "from PIL import Image; print(Image.open('$1').getpixel(($2)))"; }

"$orvel" resize "$work/in.png" "$work/a.png" --width 40 && [ "$(size "$work/a.png")" = 40x30 ] || fail width
"$orvel" resize "$work/in.png" "$work/b.bmp" --height 120 --filter nearest && [ "$(size "$work/b.bmp")" = 160x120 ] || fail height
"$orvel" resize "$work/in.png" "$work/c.png" --fit 100x30 && [ "$(size "$work/c.png")" = 40x30 ] || fail fit
"$orvel" rotate "$work/in.png" "$work/r.png" --cw90 && [ "$(pixel "$work/r.png" 59,0)" = "(250, 0, 0)" ] || fail cw90
"$orvel" crop "$work/in.png" "$work/k.png" 0,0,5,7 && [ "$(size "$work/k.png")" = 5x7 ] || fail crop
"$orvel" orient "$work/turned.png" "$work/o.png" && [ "$(pixel "$work/o.png" 59,0)" = "(250, 0, 0)" ] || fail orient
"$orvel" thumbnail "$work/turned.png" "$work/t.qoi" --fit 32x32 && [ "$(size "$work/t.qoi")" = 24x32 ] || fail thumbnail
for bad in "resize $work/in.png $work/x.png" "resize $work/in.png $work/x.png --width 0" \
    "resize $work/in.png $work/x.png --width 4 --filter cubic" "rotate $work/in.png $work/x.png" \
    "crop $work/in.png $work/x.png 79,0,2,1" "crop $work/in.png $work/x.png 1,2,3" \
    "orient $work/missing.png $work/x.png" "thumbnail $work/in.png $work/x.webp --fit 9x9"; do
  set +e
  $orvel $bad 2> "$work/err"
  status=$?
  set -e
  [ "$status" = 2 ] && [ -s "$work/err" ] || fail "$bad gave $status"
done
echo ok
