# Shared by the tools/test-fuzz-*.sh scripts and tools/test-asan-http.sh (sourced, not run): the
# sanitizer build and one bounded run of a fuzz target. The caller is in the source tree's top
# directory. The fuzz targets and the sanitizer tests share one build with clang (libFuzzer's
# coverage, ASan and UBSan), so that the libraries are compiled once for both.
fuzz_build=build-fuzz

# Configures the sanitizer build with clang (libFuzzer, ASan, UBSan) and builds the named
# targets (fuzz targets or tests).
# FUZZ_CMAKE_ARGS holds the caller's extra configure arguments.
fuzz_build_targets() {
  CC=clang CXX=clang++ cmake -S . -B "$fuzz_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DLARKSPAN_FUZZ=ON -DLARKSPAN_BUILD_UI=OFF -DLARKSPAN_BUILD_TESTS=ON -DLARKSPAN_BUILD_BENCH=OFF \
    "${FUZZ_CMAKE_ARGS[@]}" >/dev/null
  cmake --build "$fuzz_build" --target "$@" -j "$(nproc)"
}

# fuzz_run BINARY CORPUS SECONDS MAX_LEN RSS_MB TIMEOUT
# Runs the built target (a path below the fuzz build) on a copy of the seed corpus in a
# directory of its own. A finding fails the run; the end of the fuzzer's log shows it, with the
# input in Base64.
fuzz_run() {
  local binary=$1 corpus=$2 seconds=$3 max_len=$4 rss=$5 timeout=$6
  local work
  work=$(mktemp -d "${TMPDIR:-/tmp}/larkspan-fuzz.XXXXXX")
  mkdir -p "$work/corpus"
  cp "$corpus"/* "$work/corpus/"
  if ! (cd "$work" && "$OLDPWD/$fuzz_build/$binary" -max_total_time="$seconds" -timeout="$timeout" \
      -rss_limit_mb="$rss" -max_len="$max_len" -print_final_stats=1 corpus >log 2>&1); then
    tail -n 60 "$work/log" >&2
    rm -rf "$work"
    echo "Fuzzing ${binary##*/} found a fault." >&2
    return 1
  fi
  grep -E '^(Done|stat::number_of_executed_runs|stat::peak_rss_mb)' "$work/log" || true
  rm -rf "$work"
}
