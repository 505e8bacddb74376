#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a few seconds each, starting
# from the seed corpus in tests/fuzz/corpus/<name>.
# Usage: scripts/run-fuzzers.sh BUILD_DIR SECONDS
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
secs=${2:-30}
found=0
for fuzzer in "$build"/tests/fuzz/fuzz_*; do
  [ -x "$fuzzer" ] || continue
  found=1
  name=$(basename "$fuzzer")
  seeds="tests/fuzz/corpus/${name#fuzz_}"
  work=$(mktemp -d)
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/
  echo "== $name for ${secs}s"
  "$fuzzer" -max_total_time="$secs" -rss_limit_mb=2048 -max_len=262144 "$work"
  rm -rf "$work"
done
[ $found -eq 1 ] || { echo "no fuzzers found in $build" >&2; exit 1; }
