#!/bin/bash
# Installs what is missing, builds with warnings as errors and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."

sh scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWDOG_WERROR=ON
cmake --build build -j "$(nproc)"

status=0
ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 300 || status=$?

# ctest shows no output for a skipped test: print each reason.
grep -h -B1 -A1 ': Skipped$' build/Testing/Temporary/LastTest.log || true
exit "$status"
