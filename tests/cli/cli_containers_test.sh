#!/usr/bin/env bash
# orvel meta over every container fixture: one JSON line per file, each with what the file
# carries. Usage: cli_containers_test.sh ORVEL FIXTURE_DIR
set -euo pipefail
orvel=$1
dir=$2
expect() {  # file, then fragments its line must hold
  local file=$1
  shift
  local line
  line=$("$orvel" meta --jsonl "$dir/$file")
  for fragment in "$@"; do
    if [[ $line != *"$fragment"* ]]; then
      echo "$file: missing $fragment in: $line" >&2
      exit 1
    fi
  done
}
expect still.heic '"isValid":true' '"camera":"Apple iPhone 14"' '"orientation":6'
expect still.avif '"isValid":true' '"camera":"Apple iPhone 14"' '"gps":'
expect movie_keys.mp4 '"isValid":true' '"Make":"Canon"' '"Software":"Firmware 1.2"' '"ImageWidth":"64"'
expect movie_phone.mov '"isValid":true' '"Model":"iPhone 14"' '"Software":"16.5"'
expect chunks.png '"isValid":true' '"Make":"Canon"' '"Title":"Rose"' '"Description":"A red rose'
expect extended.webp '"isValid":true' '"Make":"Canon"'
expect simple.webp '"isValid":false'
