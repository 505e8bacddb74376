#!/usr/bin/env bash
# Sets up, builds the library and the kivreport tool, makes the sample repository
# and generates the sample HTML report into out/.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build-demo -DKIV_BUILD_TESTS=OFF -DKIV_BUILD_TOOLS=ON -DKIV_BUILD_PYTHON=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-demo -j"$(nproc)"
mkdir -p out
./samples/make-demo.sh build-demo out
