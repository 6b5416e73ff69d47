#!/usr/bin/env bash
# Builds the HTTP client's fuzz target with clang (libFuzzer, ASan, UBSan) in its own build
# directory and runs it for a bounded time on a copy of the seed corpus.
# LARKSPAN_FUZZ_SECONDS sets the time (default 20). Extra arguments go to CMake's configure
# step. Exits non-zero when the build fails or the fuzzer finds a crash, a leak or a hang.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/fuzz-common.sh
FUZZ_CMAKE_ARGS=("$@")
seconds=${LARKSPAN_FUZZ_SECONDS:-20}

fuzz_build_targets http_response_fuzz
fuzz_run tests/http/fuzz/http_response_fuzz tests/http/fuzz/corpus "$seconds" 65536 4096 20
echo "Fuzzing the HTTP client's response reading: no findings in ${seconds}s."
