#!/bin/sh
# Builds the 32-bit x86 wdog and its tests into build-i386/, installing what
# is missing first, and makes sure this machine can run them (natively, or
# under qemu). Then: ctest --test-dir build-i386
set -eu
cd "$(dirname "$0")/.."

sh scripts/install-deps.sh --i386
sh scripts/enable-arch.sh i386
cmake -S . -B build-i386 -DCMAKE_TOOLCHAIN_FILE=cmake/debian-cross.cmake -DWDOG_ARCH=i386 \
  -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" > /dev/null
cmake --build build-i386 -j "$(nproc)"
file -L build-i386/app/wdog
