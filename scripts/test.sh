#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
#   scripts/test.sh              normal build in build/
#   scripts/test.sh --sanitize   AddressSanitizer + UBSan build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
if [ "${1:-}" = "--sanitize" ]; then
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  scripts/build.sh build-asan -DVKT_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
  dir=build-asan
else
  scripts/build.sh build
  dir=build
fi
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 300
