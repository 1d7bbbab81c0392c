#!/bin/bash
# Fuzzes the stat-line parser with libFuzzer for the given number of seconds
# (default 60), starting from the seed corpus in the repository. New inputs go
# to a scratch directory; a crash, leak or sanitizer report fails the run and
# leaves the input that caused it in build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWDOG_FUZZ=ON > /dev/null
cmake --build build-fuzz --target stat_line_fuzzer -j "$(nproc)" > /dev/null

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
log=build-fuzz/fuzz.log
if ! build-fuzz/tests/fuzz/stat_line_fuzzer -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix=build-fuzz/ "$scratch" tests/fuzz/stat_line_corpus > "$log" 2>&1; then
  cat "$log"
  exit 1
fi
grep -E '^Done|stat::(number_of_executed_units|new_units_added|peak_rss_mb)' "$log"
