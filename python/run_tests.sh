#!/usr/bin/env bash
# Installs the package into a fresh virtual environment (over Debian's numpy, Pillow, pytest
# and dask) and runs its tests against a built library:
#   python/run_tests.sh WORKDIR LIBRARY PHOTO
set -euo pipefail
work=$1 library=$2 photo=$3
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
"$work/venv/bin/pip" install --quiet --no-index "$here"
cd "$work"  # import the installed package, not the source folder
PYTHONDONTWRITEBYTECODE=1 ORVEL_LIBRARY=$library ORVEL_TEST_PHOTO=$photo \
  "$work/venv/bin/python" -m pytest -q -p no:cacheprovider "$here/tests"
