#!/usr/bin/env bash
# Installs the build tree into a scratch prefix, then builds and runs a C99 consumer against
# it twice: once with pkg-config, once with find_package(Orvel).
set -euo pipefail
build=$1 consumer=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
prefix=$work/prefix
libdir=$(dirname "$(find "$prefix" -name 'libOrvel.so.1' | head -n 1)")

export PKG_CONFIG_PATH=$libdir/pkgconfig
cc -std=c99 -Wall -Wextra -Werror -pedantic "$consumer/consumer.c" -o "$work/via_pkgconfig" \
  $(pkg-config --cflags --libs orvel)
LD_LIBRARY_PATH=$libdir "$work/via_pkgconfig"

cmake -S "$consumer" -B "$work/cmake_build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake_build" >/dev/null
LD_LIBRARY_PATH=$libdir "$work/cmake_build/consumer"
