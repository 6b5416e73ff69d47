#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
LARKSPAN_WITH_OFFICE=${LARKSPAN_WITH_OFFICE:-0} tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target larkspan
exec build/app/larkspan "$@"
