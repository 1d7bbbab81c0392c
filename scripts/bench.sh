#!/bin/bash
# Installs what is missing, builds an optimised wdog and its benchmark, and
# runs the whole comparison (about five minutes): N = 100, 1000, 5000 and
# 20,000 extra idle processes, and at each an idle wdog for 30 s; then the
# goals. Arguments go to the benchmark, e.g. --sizes 100,1000 --runs 9
# --idle-seconds 20.
set -euo pipefail
cd "$(dirname "$0")/.."

sh scripts/install-deps.sh
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DWDOG_BENCH=ON > /dev/null
cmake --build build-release -j "$(nproc)" --target wdog_bench > /dev/null
exec build-release/bench/wdog_bench "$@"
