#!/usr/bin/env bash
# Builds the spill buffer's test with ThreadSanitizer in build-tsan/ and runs it, so that the
# hand-over between the main thread and the refill worker is checked on every run.
# LARKSPAN_SPILL_OPS sets the number of random operations (default here: 2 million).
# Extra arguments go to CMake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLARKSPAN_BUILD_UI=OFF -DLARKSPAN_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" "$@" >/dev/null
cmake --build build-tsan --target http_spill_tests -j "$(nproc)"

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
export LARKSPAN_SPILL_OPS="${LARKSPAN_SPILL_OPS:-2000000}"
# ThreadSanitizer needs the fixed memory layout that some kernels' address randomisation breaks.
run=(build-tsan/tests/http/http_spill_tests)
if command -v setarch >/dev/null && setarch "$(uname -m)" -R true 2>/dev/null; then
  run=(setarch "$(uname -m)" -R "${run[@]}")
fi
QT_QPA_PLATFORM=offscreen "${run[@]}"
