#!/usr/bin/env bash
# Builds the program and writes screenshots of every page to docs/images/, using the demo
# profiles and Qt's offscreen platform (no display needed).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target larkspan_screenshots larkspan_dialog_shots
QT_QPA_PLATFORM=offscreen build/tools/larkspan_screenshots tools/demo/profiles docs/images
QT_QPA_PLATFORM=offscreen build/tools/larkspan_dialog_shots tools/demo/profiles docs/images
