#!/usr/bin/env bash
# Installs the Debian packages the build, the demo and the tests need; only
# what is missing is installed. Safe to run again. Besides the compilers and
# libraries: fontconfig (fonts a PDF copy would lack), the Python packaging
# tools that `pip install --no-build-isolation --no-index .` uses, mypy for the
# type stubs, Doxygen for the API reference, groff for the manual page's check.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libtinyxml-dev zlib1g-dev libjpeg62-turbo-dev libpng-dev nlohmann-json3-dev
  libfontconfig-dev fontconfig fonts-dejavu-core
  libgtest-dev
  python3 python3-lxml zip unzip
  pybind11-dev python3-dev python3-numpy python3-pytest
  python3-venv python3-pip python3-setuptools python3-wheel python3-mypy
  doxygen groff-base
)
# Extra groups, asked for with arguments: "browser" (end-to-end report test),
# "fuzz" (libFuzzer builds), "format" (clang-format, the style check), "pdf" (PDF copies of reports: LibreOffice for
# .pptx/.docx, pdfinfo for the tests, and the package checker's --render; large).
# The package checker's python3-lxml is always installed.
for group in "$@"; do
  case "$group" in
    browser) packages+=(chromium) ;;
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    format) packages+=(clang-format) ;;
    pdf) packages+=(libreoffice-impress libreoffice-writer poppler-utils) ;;
    *) echo "setup.sh: unknown group '$group'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup.sh: need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  SUDO=sudo
fi
echo "setup.sh: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if ! $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"; then
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
