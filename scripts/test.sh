#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
#   scripts/test.sh              normal build in build/
#   scripts/test.sh --sanitize   AddressSanitizer + UBSan build in build-asan/,
#                                without the JPEG suite's runs with the
#                                generic and SSE2 tables forced (usecpu0.,
#                                usecpu6.: their bytes are the plain run's,
#                                and the SimdMembers tests check every
#                                member of every kind under the sanitizers)
#   scripts/test.sh --thread     ThreadSanitizer build in build-tsan/: the
#                                suites of the threaded parts (platform,
#                                display, media, sdk, viewer's kind 7100)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
if [ "${1:-}" = "--thread" ]; then
  # Thread leaks are not reported: the process exit test leaves handles
  # open on purpose, so their threads are never joined.
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:report_thread_leaks=0:suppressions=$PWD/scripts/tsan-suppressions.txt
  # The simulated device is not under test: the plain build serves at a
  # device's pace (an instrumented one falls behind the tests' timeouts).
  cmake -S . -B build -G Ninja -DVKT_WERROR=ON
  cmake --build build -j "$(nproc)" --target vkt-devsim
  export VKT_DEVSIM=$PWD/build/bin/vkt-devsim
  # Each suite, with a test filter where a whole suite cannot run
  # instrumented: the viewer's runs of kind 5200 and its timing bounds
  # assume a decoder at full speed.
  suites=(platform_tests display_tests media_tests sdk_tests sdk_kind7100_tests sdk_h264_session_test
          sdk_process_exit_test sdk_sequence_tests sdk_devsim_content_test sdk_picture_recording_test
          sdk_decoder_fault_test
          "viewer_tests:Viewer.StatsWithoutADisplay*:Viewer.ReportsARefused*")
  cmake -S . -B build-tsan -G Ninja -DVKT_WERROR=ON -DVKT_SANITIZE_THREAD=ON -DCMAKE_BUILD_TYPE=Debug
  cmake --build build-tsan -j "$(nproc)" --target "${suites[@]%%:*}" sdk_exit_probe vkt-viewer
  for suite in "${suites[@]}"; do
    echo "== $suite"
    filter=*
    if [ "${suite#*:}" != "$suite" ]; then filter=${suite#*:}; fi
    (cd build-tsan && "bin/${suite%%:*}" --gtest_brief=1 "--gtest_filter=$filter")
  done
  exit 0
fi
if [ "${1:-}" = "--sanitize" ]; then
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  scripts/build.sh build-asan -DVKT_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
  ctest --test-dir build-asan --output-on-failure -j "$(nproc)" --timeout 300 -E '^usecpu[0-9]+\.'
  exit 0
fi
scripts/build.sh build
ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 300
