#!/usr/bin/env bash
# Builds the HTTP tests (https included, the live client on libcurl and the URL type among them)
# and the run's tests against the engine simulator and the live channels against hostile servers
# with AddressSanitizer and UndefinedBehaviorSanitizer, in the sanitizer build that the fuzz
# targets share (clang, without the window), and runs them. Extra arguments go to CMake's
# configure step. Exits non-zero when the build fails, a test fails or a sanitizer reports an error.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/fuzz-common.sh
FUZZ_CMAKE_ARGS=("$@")

fuzz_build_targets tests/http/all http_live_tests http_url_tests run_simulator_tests live_channel_tests
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$fuzz_build/tests/http" --output-on-failure -j "$(nproc)" --timeout 600
ctest --test-dir "$fuzz_build/tests/core" -R "SimulatorRunTest|RunRecords|LiveHostile" \
  --output-on-failure -j "$(nproc)" --timeout 600
