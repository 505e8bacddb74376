#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a few seconds each, starting
# from its seed corpus (the folder named in tests/fuzz/CMakeLists.txt and the
# test data folders its SEEDS names), copied so that nothing is written there.
# Usage: scripts/run-fuzzers.sh BUILD_DIR SECONDS
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
secs=${2:-30}
found=0
while read -r name corpus seeds; do
  fuzzer="$build/tests/fuzz/fuzz_$name"
  [ -x "$fuzzer" ] || { echo "missing fuzzer $fuzzer" >&2; exit 1; }
  found=1
  work=$(mktemp -d)
  [ -d "tests/fuzz/corpus/$corpus" ] && cp -r "tests/fuzz/corpus/$corpus"/. "$work"/
  for folder in $seeds; do cp -r "tests/$folder"/. "$work"/; done
  # A dictionary of the format's tokens (tests/fuzz/dictionaries/<corpus>.dict) when there is one.
  dict=()
  [ -f "tests/fuzz/dictionaries/$corpus.dict" ] && dict=(-dict="tests/fuzz/dictionaries/$corpus.dict")
  echo "== fuzz_$name for ${secs}s"
  "$fuzzer" -max_total_time="$secs" -rss_limit_mb=2048 -max_len=262144 -timeout=20 "${dict[@]}" "$work"
  rm -rf "$work"
done < <(sed -nE -e 's/^kiv_add_fuzz_target\(([a-z_0-9]+) ([a-z_0-9]+).* SEEDS ([^)]*)\).*/\1 \2 \3/p; t' \
                  -e 's/^kiv_add_fuzz_target\(([a-z_0-9]+) ([a-z_0-9]+).*/\1 \2/p' tests/fuzz/CMakeLists.txt)
[ $found -eq 1 ] || { echo "no fuzz targets listed" >&2; exit 1; }
