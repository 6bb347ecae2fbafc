#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ (every library
# instrumented for coverage, AddressSanitizer and UBSan) and runs each
# named target for SECONDS, seeded by the tests' generators, with its
# dictionary. Prints each target's executions per second, by the clock and
# per second of processor time (the two differ on a busy machine); fails
# on any finding.
#   scripts/fuzz.sh [SECONDS] [TARGET...]     targets: jpeg stream frame session recording (default: all)
# Findings are written to build-fuzz/fuzz-findings/TARGET/; replay one with
#   build-fuzz/bin/TARGET_fuzzer FILE
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(jpeg stream frame session recording)
declare -A max_len=([jpeg]=65536 [stream]=262144 [frame]=65536 [session]=262144 [recording]=262144)
for target in "${targets[@]}"; do
  [ -n "${max_len[$target]:-}" ] || { echo "fuzz.sh: unknown target '$target'" >&2; exit 2; }
done

scripts/deps.sh
dir=build-fuzz
instrument="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
# The shared libraries need the sanitizer runtime as a shared library too.
runtime_dir=$(dirname "$(clang -print-file-name=libclang_rt.asan-x86_64.so)")
link="-fsanitize=address,undefined -shared-libasan -Wl,-rpath,$runtime_dir"
cmake -S . -B "$dir" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVKT_FUZZ=ON -DVKT_WERROR=ON \
      -DCMAKE_C_FLAGS="$instrument" -DCMAKE_CXX_FLAGS="$instrument" \
      -DCMAKE_EXE_LINKER_FLAGS="$link" -DCMAKE_SHARED_LINKER_FLAGS="$link" >/dev/null
cmake --build "$dir" --target fuzz_seed_writer "${targets[@]/%/_fuzzer}"

rm -rf "$dir/fuzz-seeds"
"$dir/bin/fuzz_seed_writer" "$dir/fuzz-seeds"
# The fuzzing runtime's own libraries load before the sanitizer's shared
# runtime; it is loaded all the same.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:verify_asan_link_order=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
summary=()
for target in "${targets[@]}"; do
  mkdir -p "$dir/fuzz-corpus/$target" "$dir/fuzz-findings/$target"
  log="$dir/fuzz-$target.log"
  echo "fuzzing $target for ${seconds}s (log: $log)"
  TIMEFORMAT="%U %S"
  if { time "$dir/bin/${target}_fuzzer" -max_total_time="$seconds" -max_len="${max_len[$target]}" \
         -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 -dict="fuzz/dictionaries/$target.dict" \
         -artifact_prefix="$dir/fuzz-findings/$target/" "$dir/fuzz-corpus/$target" "$dir/fuzz-seeds/$target" \
         >"$log" 2>&1; } 2>"$dir/fuzz-$target.time"; then
    result="no finding"
  else
    result="FINDING (see $log and $dir/fuzz-findings/$target/)"
    status=1
    tail -n 40 "$log"
  fi
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  cpu_rate=$(awk -v runs="${runs:-0}" '{ cpu = $1 + $2 } END { if (cpu > 0) printf "%d", runs / cpu; else print "?" }' \
               "$dir/fuzz-$target.time")
  summary+=("$(printf '%-8s %8s exec/s  (%s per processor second)  %10s executions  %s' "$target" "${rate:-?}" \
               "$cpu_rate" "${runs:-?}" "$result")")
done
printf '%s\n' "${summary[@]}"
exit $status
