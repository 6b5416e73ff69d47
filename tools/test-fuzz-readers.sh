#!/usr/bin/env bash
# Builds the fuzz targets of the readers and writers with clang (libFuzzer, ASan, UBSan) in
# the fuzz build directory and runs each for a bounded time on a copy of its seed corpus:
# the INI reader and writer, the configuration reader, the find pattern matcher, the help file
# reader, the JSON writer, the text exporters, and the readers of Google's key files and token
# answers.
# LARKSPAN_FUZZ_SECONDS sets the time per target (default 15). Extra arguments go to CMake's
# configure step. Exits non-zero when the build fails or a fuzzer finds a crash, a leak, a
# broken property or a hang.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-fuzz
seconds=${LARKSPAN_FUZZ_SECONDS:-15}
# Each target with the longest input worth trying: the help file seed is the shipped file.
targets="ini_fuzz:4096 config_fuzz:4096 find_pattern_fuzz:1024 help_file_fuzz:32768 json_fuzz:4096
text_export_fuzz:1024 google_auth_fuzz:65536"

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLARKSPAN_FUZZ=ON -DLARKSPAN_BUILD_UI=OFF -DLARKSPAN_BUILD_TESTS=OFF -DLARKSPAN_BUILD_BENCH=OFF "$@" >/dev/null
names=""
for t in $targets; do names="$names ${t%%:*}"; done
# shellcheck disable=SC2086
cmake --build "$build" --target $names -j "$(nproc)"

work=$(mktemp -d "${TMPDIR:-/tmp}/larkspan-fuzz-readers.XXXXXX")
trap 'rm -rf "$work"' EXIT
for t in $targets; do
  name=${t%%:*}
  corpus=tests/fuzz/corpus/${name%_fuzz}
  mkdir -p "$work/$name/corpus"
  cp "$corpus"/* "$work/$name/corpus/"
  echo "== $name for ${seconds}s"
  # A finding fails the run; the end of the fuzzer's log shows it, with the input in Base64.
  if ! (cd "$work/$name" && "$OLDPWD/$build/tests/fuzz/$name" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="${t##*:}" \
      -print_final_stats=1 corpus >log 2>&1); then
    tail -n 60 "$work/$name/log" >&2
    echo "Fuzzing $name found a fault." >&2
    exit 1
  fi
  grep -E '^(Done|stat::number_of_executed_runs)' "$work/$name/log" || true
done
echo "Fuzzing the readers and writers: no findings in ${seconds}s each."
