#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
# Extra arguments go to CMake's configure step (for example -DLARKSPAN_WERROR=ON).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
jobs=$(nproc)
# No file over 500 lines, no unit over 700 and no function over 60 in the product's folders; no
# include up a layer and no include circle across folders.
tools/check-sizes.sh
tools/check-includes.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs" --timeout 300)

# The extra builds with sanitizers, for the parts that have them.
for extra in tools/test-*.sh; do
  [ -x "$extra" ] || continue
  echo "== $extra"
  "$extra" "$@"
done
echo "All tests passed."
