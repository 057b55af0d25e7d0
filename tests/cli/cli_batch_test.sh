#!/usr/bin/env bash
# orvel meta and strip over many files: tests/cli/cli_batch_test.sh CASE ORVEL PHOTO.
set -uo pipefail
case_name=$1 orvel=$2 photo=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
run() { "$orvel" "$@" >"$work/out" 2>"$work/err"; status=$?; }
expect_status() {
  [ "$status" -eq "$1" ] || fail "exit status $status, expected $1; stderr: $(cat "$work/err")"
}

# A tree of photos (some edited so that the files differ), a text file, a link to a file, a
# link to a directory outside the tree, a broken link and a pipe.
make_tree() {
  mkdir -p "$work/tree/b/deep" "$work/tree/a" "$work/outside"
  for i in 0 1 2 3 4 5 6 7 8 9; do
    for d in a b b/deep; do
      "$orvel" set "$photo" Artist="artist $d $i" -o "$work/tree/$d/p$i.jpg" || fail "set"
    done
  done
  echo "plain text" >"$work/tree/a/notes.txt"
  cp "$photo" "$work/outside/hidden.jpg"
  ln -s ../../outside/hidden.jpg "$work/tree/a/link.jpg"
  ln -s ../outside "$work/tree/linkdir"
  ln -s nowhere.jpg "$work/tree/broken.jpg"
  mkfifo "$work/tree/a/pipe"
}

case "$case_name" in
  meta_tree)
    make_tree
    run meta --jsonl -r -j 3 "$work/tree"; expect_status 2
    grep -q "orvel meta: 33 files, 1 error" "$work/err" || fail "summary: $(cat "$work/err")"
    cp "$work/out" "$work/j3"
    run meta --jsonl -r -j 1 "$work/tree"; expect_status 2
    cmp -s "$work/out" "$work/j3" || fail "-j 3 and -j 1 differ"
    find "$work/tree" \( -type f -o -type l \) ! -name linkdir | LC_ALL=C sort >"$work/list"
    /usr/bin/python3 - "$work/j3" "$work/tree" "$photo" <<'PY' || fail "JSON lines of the tree"
import json, os, sys
lines = [json.loads(l) for l in open(sys.argv[1])]
names = [os.path.relpath(d["file"], sys.argv[2]) for d in lines]
want = sorted(["a/link.jpg", "a/notes.txt", "broken.jpg"] +
              [f"{d}/p{i}.jpg" for d in ("a", "b", "b/deep") for i in range(10)])
assert names == want, names  # sorted per directory, which here is plain byte order
by = dict(zip(names, lines))
assert by["broken.jpg"]["error"] == "No such file or directory" and len(by["broken.jpg"]) == 2
assert by["a/notes.txt"]["isValid"] is False and "error" not in by["a/notes.txt"]
assert by["b/deep/p7.jpg"]["tags"]["Artist"] == "artist b/deep 7"
assert by["a/link.jpg"]["tags"]["Make"] == "Canon"
PY
    # a plain array of the same documents, streamed in the same order
    run meta -r -j 2 "$work/tree/b"; expect_status 0
    /usr/bin/python3 -c '
import json, sys
doc = json.load(open(sys.argv[1]))
assert [d["tags"]["Artist"] for d in doc] == [f"artist b/deep {i}" for i in range(10)] + [f"artist b {i}" for i in range(10)]
' "$work/out" || fail "array output"
    # -@ from a file and from standard input gives the same lines as the names themselves
    grep -v -e pipe -e broken "$work/list" >"$work/paths"
    run meta --jsonl -@ "$work/paths"; expect_status 0
    cp "$work/out" "$work/listed"
    "$orvel" meta --jsonl -@ - <"$work/paths" >"$work/out" 2>/dev/null || fail "-@ -"
    cmp -s "$work/out" "$work/listed" || fail "-@ - differs from -@ FILE"
    mapfile -t names <"$work/paths"
    run meta --jsonl "${names[@]}"; expect_status 0
    cmp -s "$work/out" "$work/listed" || fail "-@ differs from named files"
    run meta --jsonl -@ "$work/nolist"; expect_status 2
    grep -q '"error"' "$work/out" || fail "a missing list is an error line"
    ;;
  meta_stream)
    # the first result appears while the list is still open
    mkfifo "$work/feed"
    "$orvel" meta --jsonl -@ - <"$work/feed" >"$work/out" 2>"$work/err" &
    pid=$!
    exec 3>"$work/feed"
    echo "$photo" >&3
    for _ in $(seq 50); do [ -s "$work/out" ] && break; sleep 0.1; done
    [ "$(wc -l <"$work/out")" -eq 1 ] || fail "no result before the input ended"
    echo "$work/missing.jpg" >&3
    exec 3>&-
    wait $pid; status=$?
    expect_status 2
    [ "$(wc -l <"$work/out")" -eq 2 ] || fail "two lines expected"
    # a progress line only when standard error is a terminal
    mkdir "$work/few"; cp "$photo" "$work/few/x.jpg"
    # (the second path comes late, so that the first result is written while the line shows)
    script -qec "(echo $photo; sleep 0.5; echo $photo) | $orvel meta --jsonl -@ -" /dev/null \
      >"$work/tty" </dev/null
    grep -q $'\r\e\[K[12] files, [0-9]* files/s, 0 errors' "$work/tty" || fail "no progress line"
    # output on the same terminal goes above the progress line, never after it on its line
    /usr/bin/python3 - "$work/tty" <<'PY' || fail "output and progress mixed: $(cat -A "$work/tty")"
import re, sys
text = open(sys.argv[1], encoding="latin-1", newline="").read()
ends = [m.end() for m in re.finditer(r"\r\x1b\[K\d+ files, \d+ files/s, \d+ errors", text)]
assert ends and all(text[e:e + 1] in ("\r", "") for e in ends), ends
PY
    run meta -r "$work/few"; expect_status 0
    ! grep -q $'\r' "$work/err" || fail "progress written to a file"
    for args in "-j 0" "-j x" "-j" "-@"; do
      # shellcheck disable=SC2086
      run meta $args "$photo"; expect_status 2
    done
    ;;
  strip_tree)
    make_tree
    rm "$work/tree/a/notes.txt" "$work/tree/broken.jpg"
    cp -a "$work/tree" "$work/orig"
    # mirrored under an output directory inside the tree, which the walk leaves alone
    run strip -r -j 2 "$work/tree" --out "$work/tree/clean"; expect_status 0
    grep -q "orvel strip: 31 files, 0 errors" "$work/err" || fail "summary: $(cat "$work/err")"
    diff -r "$work/orig" "$work/tree" -x clean -x pipe >/dev/null || fail "the sources changed"
    [ -f "$work/tree/clean/b/deep/p3.jpg" ] && [ -f "$work/tree/clean/a/link.jpg" ] ||
      fail "tree not mirrored: $(cd "$work/tree/clean" && find .)"
    [ "$(find "$work/tree/clean" -type f | wc -l)" -eq 31 ] || fail "wrong count in the mirror"
    "$orvel" strip "$work/orig/b/p3.jpg" -o "$work/one.jpg" || fail "strip one"
    cmp -s "$work/one.jpg" "$work/tree/clean/b/p3.jpg" || fail "mirror differs from -o"
    rm -r "$work/tree/clean"
    run strip -r "$work/tree" --in-place; expect_status 0
    cmp -s "$work/one.jpg" "$work/tree/b/p3.jpg" || fail "in place differs from -o"
    run meta --jsonl -r "$work/tree"; expect_status 0
    ! grep -q '"isValid":true' "$work/out" || fail "metadata left after strip"
    echo "text" >"$work/tree/a/notes.txt"
    run strip -r "$work/tree" --in-place; expect_status 2
    grep -q "cannot strip '.*notes.txt'" "$work/err" || fail "no message: $(cat "$work/err")"
    for args in "-r $work/tree" "-r $work/tree -o x" "$photo $photo -o x"; do
      # shellcheck disable=SC2086
      run strip $args; expect_status 2
    done
    ;;
  thumbnail_tree)
    make_tree
    rm "$work/tree/broken.jpg" "$work/tree/a/pipe"
    "$orvel" rotate "$photo" "$work/tree/b/wide.png" --cw90 || fail "rotate"
    cp "$work/tree/b/wide.png" "$work/tree/b/p3.png"  # would land on p3.jpg's thumbnail
    cp "$work/tree/b/wide.png" "$work/tree/b/.hidden"
    run thumbnail -r -j 2 "$work/tree" --out "$work/tree/small" --fit 40x30; expect_status 2
    grep -q "orvel thumbnail: 35 files, 2 errors" "$work/err" || fail "summary: $(cat "$work/err")"
    grep -q "cannot decode '.*notes.txt'" "$work/err" || fail "no message: $(cat "$work/err")"
    grep -q "small/b/p3.jpg' for '.*b/p3.png': '.*b/p3.jpg' was written there" "$work/err" ||
      fail "no collision message: $(cat "$work/err")"
    (cd "$work/tree/small" && find . -type f | LC_ALL=C sort) >"$work/made"
    [ "$(wc -l <"$work/made")" -eq 33 ] && grep -qx ./b/deep/p4.jpg "$work/made" &&
      grep -qx ./b/.hidden.jpg "$work/made" &&
      grep -qx ./b/wide.jpg "$work/made" && grep -qx ./a/link.jpg "$work/made" ||
      fail "tree not mirrored: $(cat "$work/made")"
    "$orvel" thumbnail "$work/tree/b/wide.png" "$work/one.jpg" --fit 40x30 || fail "thumbnail one"
    cmp -s "$work/one.jpg" "$work/tree/small/b/wide.jpg" || fail "mirror differs from one file"
    "$orvel" thumbnail "$work/tree/b/p3.jpg" "$work/p3.jpg" --fit 40x30 || fail "thumbnail one"
    cmp -s "$work/p3.jpg" "$work/tree/small/b/p3.jpg" || fail "the first source lost its output"
    [ -z "$(find "$work/tree/small" -name "*.orvel-part-*")" ] || fail "partial files left"
    run thumbnail -@ - --out "$work/png" --fit 16x16 --format png <<<"$work/tree/b/wide.png"
    expect_status 0
    /usr/bin/python3 -c '
import sys; from PIL import Image
a, b = Image.open(sys.argv[1]), Image.open(sys.argv[2])
assert b.format == "PNG" and max(b.size) == 16 and (a.width < a.height) == (b.width < b.height), b
' "$work/one.jpg" "$work/png/wide.png" || fail "png thumbnail"
    for args in "-r $work/tree --fit 4x4" "-r $work/tree --out $work/x" \
                "$photo --out $work/x --fit 4x4 --format gif"; do
      # shellcheck disable=SC2086
      run thumbnail $args; expect_status 2
    done
    ;;
  *) fail "unknown case $case_name" ;;
esac
echo "ok $case_name"
