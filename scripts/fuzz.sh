#!/usr/bin/env bash
# Builds the JPEG decoder's libFuzzer target with clang in build-fuzz/ and
# runs it for SECONDS (default 60), seeded with the test corpus.
#   scripts/fuzz.sh [SECONDS]
# Findings are written to build-fuzz/fuzz-findings/; replay one with
#   build-fuzz/bin/jpeg_fuzzer FILE
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
dir=build-fuzz
cmake -S . -B "$dir" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVKT_FUZZ=ON -DVKT_WERROR=ON >/dev/null
cmake --build "$dir" --target jpeg_fuzzer jpeg_corpus_writer
mkdir -p "$dir/fuzz-seeds" "$dir/fuzz-corpus" "$dir/fuzz-findings"
"$dir/bin/jpeg_corpus_writer" "$dir/fuzz-seeds"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$dir/bin/jpeg_fuzzer" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$dir/fuzz-findings/" "$dir/fuzz-corpus" "$dir/fuzz-seeds"
