#!/usr/bin/env bash
# Sets up, builds and runs every test. Usage: scripts/test.sh [build-dir] [extra cmake args...]
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh browser pdf
build=${1:-build}
shift || true
cmake -S . -B "$build" -DKIV_BUILD_TESTS=ON -DKIV_BUILD_TOOLS=ON -DKIV_BUILD_PYTHON=ON "$@"
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
