#!/usr/bin/env bash
# Fails when the shared library defines a dynamic symbol outside the version script's list,
# or misses one that the list names.
set -euo pipefail
lib=$1 map=$2
expected=$(sed -n '/global:/,/local:/p' "$map" | grep -E '^\s+[A-Za-z_][A-Za-z0-9_]*;' | tr -d ' ;' | sort)
actual=$(nm -D --defined-only "$lib" | awk '{print $3}' | sed 's/@.*//' | grep -v -E '^(ORVEL_1)?$' | sort -u)
extra=$(comm -13 <(echo "$expected") <(echo "$actual"))
missing=$(comm -23 <(echo "$expected") <(echo "$actual"))
[ -z "$extra" ] || { echo "exported but not public:"; echo "$extra"; exit 1; }
[ -z "$missing" ] || { echo "public but not exported:"; echo "$missing"; exit 1; }
soname=$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = "libOrvel.so.1" ] || { echo "SONAME is '$soname'"; exit 1; }
echo "exports match: $(echo "$actual" | wc -l) symbols, SONAME $soname"
