#!/usr/bin/env bash
# Prints a 300-row results table to a PDF without a display and turns its pages into PNG
# images with pdftoppm. The first page is kept as docs/images/print-sample-page1.png.
# Usage: tools/print-sample.sh [OUTDIR]   (default build/print-sample)
set -euo pipefail
cd "$(dirname "$0")/.."
command -v pdftoppm >/dev/null || tools/install-deps.sh
[ -f build/build.ninja ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target larkspan-print-sample
out=${1:-build/print-sample}
mkdir -p "$out"
rm -f "$out"/page-*.png
pdf=$(cd "$out" && QT_QPA_PLATFORM=offscreen "$OLDPWD/build/tools/larkspan-print-sample" Larkspan.pdf)
pdftoppm -r 80 -png "$pdf" "$out/page"
mkdir -p docs/images
cp "$(ls "$out"/page-*.png | head -n 1)" docs/images/print-sample-page1.png
echo "PDF: $pdf"
ls "$out"/page-*.png
