#!/usr/bin/env bash
# Builds the sitemap reader's fuzz target with clang (libFuzzer, ASan, UBSan) in its own build
# directory and runs it for a bounded time on a copy of the seed corpus.
# LARKSPAN_FUZZ_SECONDS sets the time (default 15). Extra arguments go to CMake's configure
# step. Exits non-zero when the build fails or the fuzzer finds a crash, a leak or a hang.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/fuzz-common.sh
FUZZ_CMAKE_ARGS=("$@")
seconds=${LARKSPAN_FUZZ_SECONDS:-15}

fuzz_build_targets sitemap_reader_fuzz
fuzz_run tests/core/fuzz/sitemap_reader_fuzz tests/core/fuzz/corpus "$seconds" 1048576 2048 20
echo "Fuzzing the sitemap reader: no findings in ${seconds}s."
