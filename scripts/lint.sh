#!/bin/bash
# Runs clang-tidy and cppcheck over the project's code, as compiled in the
# build directory given (default: build). Any finding fails.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

echo "== clang-tidy"
run-clang-tidy -p "$build" -quiet -j "$(nproc)" "$PWD/(app|supervise|proctable|files|tests|bench|examples)/" \
  > "$build/clang-tidy.log" 2>&1 || { grep -E 'warning:|error:' "$build/clang-tidy.log" || cat "$build/clang-tidy.log"; exit 1; }
echo "no finding"

echo "== cppcheck"
cppcheck --project="$build/compile_commands.json" --library=googletest,wxwidgets \
  --enable=warning,style,performance,portability --std=c++17 --inline-suppr \
  --suppressions-list=.cppcheck-suppressions -i "$build" --error-exitcode=1 --quiet
echo "no finding"
