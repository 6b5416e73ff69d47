#!/usr/bin/env bash
# Builds the fuzz target of the Google key file and token answer readers with clang (libFuzzer,
# ASan, UBSan) in its own build directory and runs it for a bounded time on a copy of its seeds.
# LARKSPAN_FUZZ_SECONDS sets the time (default 30). Extra arguments go to CMake's configure
# step. Exits non-zero when the build fails or the fuzzer finds a crash, a leak or a hang.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-fuzz
seconds=${LARKSPAN_FUZZ_SECONDS:-30}

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLARKSPAN_FUZZ=ON -DLARKSPAN_BUILD_UI=OFF -DLARKSPAN_BUILD_TESTS=OFF -DLARKSPAN_BUILD_BENCH=OFF "$@" >/dev/null
cmake --build "$build" --target google_auth_fuzz -j 2

work=$(mktemp -d "${TMPDIR:-/tmp}/larkspan-fuzz-google.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus"
cp tests/core/fuzz/google-corpus/* "$work/corpus/"
# Findings are written into the work directory and shown in the log; a finding fails the run.
# Key files and token answers are small; 64 KiB lets long texts reach the readers' bounds.
(cd "$work" && "$OLDPWD/$build/tests/core/fuzz/google_auth_fuzz" \
  -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=65536 \
  -print_final_stats=1 corpus)
echo "Fuzzing the Google key file and token answer readers: no findings in ${seconds}s."
