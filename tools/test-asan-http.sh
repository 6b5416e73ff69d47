#!/usr/bin/env bash
# Builds the HTTP tests (https included, the live client on libcurl and the URL type among them:
# http_live_tests, http_url_tests) and the run's tests against the engine simulator (and the live
# channels against hostile servers) with
# AddressSanitizer and UndefinedBehaviorSanitizer in their own build directory, without the
# window, and runs them. Extra arguments go to CMake's configure
# step. Exits non-zero when the build fails, a test fails or a sanitizer reports an error.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-asan
flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLARKSPAN_BUILD_UI=OFF \
  -DLARKSPAN_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" "$@" >/dev/null
cmake --build "$build" --target tests/http/all http_live_tests http_url_tests run_simulator_tests live_channel_tests \
  -j "$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build/tests/http" --output-on-failure -j "$(nproc)" --timeout 600
ctest --test-dir "$build/tests/core" -R "SimulatorRunTest|RunRecords|LiveHostile" \
  --output-on-failure -j "$(nproc)" --timeout 600
