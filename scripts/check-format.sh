#!/usr/bin/env bash
# Checks that the C++ sources follow .clang-format (clang-format 14, Debian 12's).
# With --fix, rewrites them instead. Test data under tests/data is left alone.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "check-format.sh: clang-format is missing (scripts/setup.sh format)" >&2; exit 1; }
mapfile -t files < <(git ls-files '*.cpp' '*.h' | grep -v '^tests/data/')
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
else
  clang-format --dry-run --Werror "${files[@]}"
fi
