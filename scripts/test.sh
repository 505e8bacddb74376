#!/usr/bin/env bash
# Sets up, builds and runs every test. Usage: scripts/test.sh [build-dir] [extra cmake args...]
# With KIV_NO_SKIPS=1 (CI) a skipped test fails the run: every input must be there.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh browser pdf
build=${1:-build}
shift || true
cmake -S . -B "$build" -DKIV_BUILD_TESTS=ON -DKIV_BUILD_TOOLS=ON -DKIV_BUILD_PYTHON=ON "$@"
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" | tee "$build/ctest.log"
if [ -n "${KIV_NO_SKIPS:-}" ] && grep -q '(Skipped)' "$build/ctest.log"; then
  echo "test.sh: tests were skipped (KIV_NO_SKIPS forbids it):" >&2
  grep '(Skipped)' "$build/ctest.log" >&2
  exit 1
fi
