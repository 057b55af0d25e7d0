#!/usr/bin/env bash
# orvel palette on a built two-colour image: the colours, JSON, the swatch strip, and clear
# errors for unknown names.
set -euo pipefail
orvel=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$work/two.ppm" <<'PY'
import sys
w, h = 40, 20
pixels = bytearray()
for y in range(h):
    for x in range(w):
        pixels += bytes((200, 40, 50) if x < 20 else (30, 120, 220))
open(sys.argv[1], "wb").write(b"P6 %d %d 255\n" % (w, h) + pixels)
PY
fail() { echo "FAIL: $*"; exit 1; }

out=$("$orvel" palette "$work/two.ppm" -n 2)
[ "$(echo "$out" | cut -d' ' -f1 | sort | tr '\n' ' ')" = "#1e78dc #c82832 " ] || fail "plain: $out"
[ "$(echo "$out" | awk '{print NF}' | sort -u)" = "4" ] || fail "hex and three components: $out"

"$orvel" palette "$work/two.ppm" -n 5 --algo medianCut --space lab --json > "$work/p.json"
python3 - "$work/p.json" <<'PY' || fail "json"
import json, sys
entries = json.load(open(sys.argv[1]))
assert sorted(e["hex"] for e in entries) == ["#1e78dc", "#c82832"], entries
assert all(e["space"] == "lab" and len(e["components"]) == 3 for e in entries), entries
PY

"$orvel" palette "$work/two.ppm" -n 2 --algo kmeansPP --seed 9 --swatch "$work/s.png" > /dev/null
[ "$(head -c 8 "$work/s.png" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ] || fail "swatch is no PNG"

if "$orvel" palette "$work/two.ppm" --algo fancy 2> "$work/err"; then fail "unknown algorithm accepted"; fi
grep -q "unknown algorithm 'fancy' (valid: wu, kmeans, kmeansPP, medianCut, octree, neuquant)" "$work/err" || fail "algorithm list"
if "$orvel" palette "$work/two.ppm" --space nope 2> "$work/err"; then fail "unknown space accepted"; fi
grep -q "unknown colour space 'nope' (valid: srgb, .*oklab, .*hct)" "$work/err" || fail "space list"
echo "palette command: ok"
