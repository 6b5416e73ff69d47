#!/usr/bin/env bash
# Builds the fuzz targets of the readers and writers with clang (libFuzzer, ASan, UBSan) in
# the fuzz build directory and runs each for a bounded time on a copy of its seed corpus:
# the INI reader and writer, the configuration reader, the find pattern matcher, the help file
# reader, the JSON writer, the text exporters, and the readers of Google's key files and token
# answers, and of Search Console's inspection answers and sitemap lists.
# LARKSPAN_FUZZ_SECONDS sets the time per target (default 8). Extra arguments go to CMake's
# configure step. Exits non-zero when the build fails or a fuzzer finds a crash, a leak, a
# broken property or a hang.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/fuzz-common.sh
FUZZ_CMAKE_ARGS=("$@")
seconds=${LARKSPAN_FUZZ_SECONDS:-8}
# Each target with the longest input worth trying: the help file seed is the shipped file.
targets="ini_fuzz:4096 config_fuzz:4096 find_pattern_fuzz:1024 help_file_fuzz:32768 json_fuzz:4096
text_export_fuzz:1024 google_auth_fuzz:65536 search_console_answers_fuzz:65536"

names=()
for t in $targets; do names+=("${t%%:*}"); done
fuzz_build_targets "${names[@]}"

for t in $targets; do
  name=${t%%:*}
  echo "== $name for ${seconds}s"
  fuzz_run "tests/fuzz/$name" "tests/fuzz/corpus/${name%_fuzz}" "$seconds" "${t##*:}" 2048 10
done
echo "Fuzzing the readers and writers: no findings in ${seconds}s each."
