#!/usr/bin/env bash
# The orvel command on the bundled example photo: tests/cli/cli_test.sh CASE ORVEL PHOTO.
# Each case prints what went wrong and exits non-zero on failure.
set -uo pipefail
case_name=$1 orvel=$2 photo=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# run ARGS...: captures stdout, stderr and the exit status of orvel.
run() {
  "$orvel" "$@" >"$work/out" 2>"$work/err"
  status=$?
}

expect_status() {
  [ "$status" -eq "$1" ] || fail "exit status $status, expected $1; stderr: $(cat "$work/err")"
}

json_check() {  # json_check PYTHON-EXPRESSION-OVER-doc: true or fail
  python3 - "$work/out" "$1" <<'PY' || fail "check failed: $1"
import json, sys
doc = json.load(open(sys.argv[1], encoding="utf-8", errors="surrogateescape"))
sys.exit(0 if eval(sys.argv[2]) else 1)
PY
}

case "$case_name" in
  info_convert)
    printf 'P6\n3 2\n255\n' > "$work/in.ppm"
    printf '\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11\x12' >> "$work/in.ppm"
    for ext in png bmp qoi tga pam ppm; do
      run convert "$work/in.ppm" "$work/out.$ext"; expect_status 0
      run convert "$work/out.$ext" "$work/back.ppm"; expect_status 0
      cmp -s "$work/in.ppm" "$work/back.ppm" || fail "$ext round trip changed the pixels"
    done
    run info "$work/out.png" "$work/out.tga"; expect_status 0
    grep -q "png.*3x2.*3 channels.*rgb" "$work/out" || fail "info: $(cat "$work/out")"
    grep -q "tga.*3x2" "$work/out" || fail "info reads .tga files as TGA"
    run info --json "$work/out.qoi"; expect_status 0
    json_check 'doc["format"] == "qoi" and doc["width"] == 3 and doc["layout"] == "rgb"'
    run convert "$work/in.ppm" "$work/out.xyz"; expect_status 2
    grep -q "use --format" "$work/err" || fail "unknown extension: $(cat "$work/err")"
    run convert "$work/in.ppm" "$work/out.xyz" --format bmp; expect_status 0
    run convert "$work/missing.png" "$work/x.png"; expect_status 2
    run convert "$work/in.ppm" "$work" --format png; expect_status 2
    grep -q "cannot write" "$work/err" || fail "directory output: $(cat "$work/err")"
    printf 'not an image' > "$work/bad.png"
    run info "$work/bad.png"; expect_status 2
    grep -q "cannot decode" "$work/err" || fail "bad input: $(cat "$work/err")"
    ;;
  jpeg_thumb)
    printf 'P6\n16 8\n255\n' > "$work/in.ppm"
    head -c 384 /dev/urandom >> "$work/in.ppm"
    run convert "$work/in.ppm" "$work/q100.jpg" --quality 100; expect_status 0
    run convert "$work/in.ppm" "$work/q10.jpeg" --quality 10; expect_status 0
    [ "$(stat -c %s "$work/q10.jpeg")" -lt "$(stat -c %s "$work/q100.jpg")" ] || fail "quality ignored"
    for q in 0 101 9x; do run convert "$work/in.ppm" "$work/bad.jpg" --quality "$q"; expect_status 2; done
    run info "$work/q10.jpeg"; expect_status 0
    grep -q "jpeg.*16x8.*3 channels" "$work/out" || fail "info: $(cat "$work/out")"
    run thumb "$work/q100.jpg" "$work/none.png"; expect_status 1
    cp "$photo" "$work/photo.jpg"
    exiftool -q -overwrite_original "-ThumbnailImage<=$work/q100.jpg" "$work/photo.jpg" || fail "exiftool"
    run thumb "$work/photo.jpg" "$work/thumb.png"; expect_status 0
    run info "$work/thumb.png"; expect_status 0
    grep -q "png.*16x8.*3 channels" "$work/out" || fail "thumb: $(cat "$work/out")"
    ;;
  meta_one)
    run meta "$photo"; expect_status 0
    json_check 'doc["isValid"] is True and doc["tags"]["Make"] == "Canon"'
    json_check 'abs(doc["gps"]["latitude"] + 33.89127777777778) < 1e-9'
    json_check 'abs(doc["gps"]["longitude"] - 151.27419444444445) < 1e-9'
    json_check 'doc["gps"]["altitude"] == 12.5 and doc["orientation"] == 1'
    json_check 'list(doc)[:2] == ["isValid", "orientation"] and list(doc)[-1] == "tags"'
    [ "$(tail -c 2 "$work/out")" = "}" ] || fail "the document should end in a single line feed"
    ;;
  meta_many)
    run meta "$photo"; cp "$work/out" "$work/single"
    run meta "$photo" "$photo"; expect_status 0
    json_check 'isinstance(doc, list) and len(doc) == 2 and doc[0] == doc[1]'
    python3 -c 'import json,sys; a=json.load(open(sys.argv[1])); b=json.load(open(sys.argv[2])); sys.exit(0 if a[0]==b else 1)' \
      "$work/out" "$work/single" || fail "array members differ from the single document"
    ;;
  meta_jsonl)
    run meta "$photo"; cp "$work/out" "$work/single"
    run meta --jsonl "$photo" "$photo"; expect_status 0
    [ "$(wc -l <"$work/out")" -eq 2 ] || fail "expected two lines"
    python3 - "$work/out" "$work/single" "$photo" <<'PY' || fail "JSON lines differ from the documents"
import json, sys
single = json.load(open(sys.argv[2]))
for line in open(sys.argv[1]).read().splitlines():
    doc = json.loads(line)
    assert list(doc)[0] == "file" and doc.pop("file") == sys.argv[3]
    assert doc == single, (doc, single)
    # compact outside strings only: values with spaces survive, nothing else is spaced
    assert line == json.dumps(json.loads(line), separators=(",", ":"), ensure_ascii=False), line
PY
    ;;
  tags)
    run tags "$photo"; expect_status 0
    grep -qxP 'Make\tCanon' "$work/out" || fail "no 'Make<TAB>Canon' line"
    grep -qxP 'Model\tCanon EOS 5D Mark IV' "$work/out" || fail "no Model line"
    cut -f1 "$work/out" >"$work/names"
    LC_ALL=C sort -c "$work/names" || fail "names not in byte order"
    [ "$(awk -F'\t' 'NF != 2' "$work/out" | wc -l)" -eq 0 ] || fail "a line without exactly one tab"
    run meta "$photo"
    json_check "len(doc['tags']) == $(wc -l <"$work/names")"
    ;;
  get)
    run get "$photo" Model; expect_status 0
    [ "$(cat "$work/out")" = "Canon EOS 5D Mark IV" ] || fail "value: $(cat "$work/out")"
    run get "$photo" model; expect_status 1
    [ ! -s "$work/out" ] || fail "output for an absent tag"
    ;;
  unreadable)
    for args in "meta $work/missing.jpg" "meta $photo $work/missing.jpg" "tags $work/missing.jpg" \
                "get $work/missing.jpg Make" "meta $work"; do
      # shellcheck disable=SC2086
      run $args; expect_status 2
      grep -q "cannot read" "$work/err" || fail "no message for: $args"
      [ ! -s "$work/out" ] || fail "output for: $args"
    done
    ;;
  usage)
    for args in "meta" "tags" "get $photo" "meta --bogus $photo"; do
      # shellcheck disable=SC2086
      run $args; expect_status 2
    done
    ;;
  set_and_strip)
    run set "$photo" Artist="Jane Doe" --gps -33.8667,151.2,10 -o "$work/set.jpg"; expect_status 0
    run get "$work/set.jpg" Artist; expect_status 0
    [ "$(cat "$work/out")" = "Jane Doe" ] || fail "Artist not written: $(cat "$work/out")"
    run get "$work/set.jpg" GPSLatitudeRef; expect_status 0
    [ "$(cat "$work/out")" = "S" ] || fail "GPS not written"
    run get "$work/set.jpg" Model; expect_status 0   # untouched tags survive
    run set "$photo" NoSuchTag=1 -o "$work/bad.jpg"; expect_status 2
    grep -q "Artist" "$work/err" || fail "an unknown name should list the editable names"
    [ ! -e "$work/bad.jpg" ] || fail "a refused edit must not write"
    run strip "$work/set.jpg" -o "$work/clean.jpg"; expect_status 0
    run tags "$work/clean.jpg"; expect_status 0
    [ ! -s "$work/out" ] || fail "stripped file still has tags: $(head -3 "$work/out")"
    cp "$work/set.jpg" "$work/inplace.jpg"
    run strip "$work/inplace.jpg" --in-place; expect_status 0
    cmp -s "$work/inplace.jpg" "$work/clean.jpg" || fail "--in-place differs from -o"
    ;;
  write_failures)
    # Each failure names its cause: the destination, or the input.
    mkdir "$work/folder"
    head -c 40 "$photo" >"$work/cut.jpg"
    printf 'BM not an image' >"$work/picture.bmp"
    while IFS='|' read -r args expected; do
      # shellcheck disable=SC2086
      run $args; expect_status 2
      grep -qF -- "$expected" "$work/err" || fail "$args: said '$(cat "$work/err")', not '$expected'"
      grep -q "unsupported operation" "$work/err" && fail "$args: the status text instead of a cause"
    done <<CASES
strip $photo -o $work/folder|cannot write '$work/folder': Is a directory
strip $photo -o $work/missing/out.jpg|cannot write '$work/missing/out.jpg': No such file or directory
strip $work/cut.jpg -o $work/out.jpg|'$work/cut.jpg': it is truncated or not a JPEG, PNG, WebP or HEIF/AVIF file
strip $work/picture.bmp -o $work/out.jpg|it is truncated or not a JPEG, PNG, WebP or HEIF/AVIF file
set $photo Artist=x -o $work/folder|cannot write '$work/folder': Is a directory
set $work/cut.jpg Artist=x -o $work/out.jpg|cannot write EXIF into '$work/cut.jpg': it is truncated
CASES
    [ ! -e "$work/out.jpg" ] || fail "a failed command wrote its output"
    ;;
  *) fail "unknown case $case_name" ;;
esac
echo "ok $case_name"
