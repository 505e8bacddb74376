#!/usr/bin/env bash
# The Python tests run against the package as users install it: a virtual
# environment (with the system's packages, for pytest and NumPy) into which pip
# installs this tree, using the extension of the build folder given.
# Usage: install-venv.sh SOURCE_DIR BUILD_DIR VENV_DIR
set -euo pipefail
source=$1 build=$2 venv=$3
rm -rf "$venv"
/usr/bin/python3 -m venv --system-site-packages "$venv"
KIVREPORT_CMAKE_BUILD_DIR="$build" "$venv/bin/pip" install --quiet --no-build-isolation --no-index \
  --disable-pip-version-check "$source"
