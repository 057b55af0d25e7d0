#!/usr/bin/env bash
# Installs what building and testing need, from Debian's packages: as root it runs apt-get
# for whatever is missing; otherwise it prints the apt-get line to run.
set -euo pipefail
packages=(cmake ninja-build g++ clang-14 libclang-rt-14-dev pkg-config python3
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libdeflate-dev libexif-dev libexiv2-dev libimage-exiftool-perl
  python3-pil netpbm libjpeg-turbo-progs libqoi-dev libstb-dev libpng-dev libspng-dev
  libheif-dev libheif-examples
  libimagequant-dev
  libvips-dev
  python3-venv python3-pytest python3-numpy python3-pandas python3-dask python3-distributed exiv2
  libjpeg62-turbo-dev

  webp libwebp-dev libgif-dev libtiff-tools libtiff-dev imagemagick)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -eq 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
else
  echo "missing build dependencies; run:" >&2
  echo "  sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
