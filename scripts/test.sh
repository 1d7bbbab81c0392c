#!/bin/bash
# Installs what is missing, then runs every check: the test suite in a build
# with warnings as errors, the suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer, the suite on 32-bit x86 binaries, the suite
# and the package for 64-bit and 32-bit ARM (arm64, armhf) under qemu's
# user-mode emulation (scripts/check-arch.sh), clang-tidy and cppcheck, the Debian packages for amd64 and i386 (built, checked with
# lintian, unpacked and run, and built again to compare), the same packages
# built and checked on the other supported Debian release in a chroot of its
# own, the example deployment booted under systemd in virtual machines of
# both releases, and the fuzzer for WDOG_FUZZ_SECONDS (default 60). Stops at
# the first failing stage.
set -euo pipefail
cd "$(dirname "$0")/.."

sh scripts/install-deps.sh --all
sh scripts/enable-arch.sh i386

# Builds into $1 with the options that follow, then runs the whole suite.
# Every option the stage relies on is given, since a directory configured
# before (by the demo, say, without tests) keeps its cached values; a stage
# that finds no test fails.
suite() {
  local dir=$1
  shift
  echo "== test suite in $dir"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWDOG_WERROR=ON -DBUILD_TESTING=ON \
    -DWDOG_SANITIZE=OFF -DWDOG_FUZZ=OFF "$@" > /dev/null
  cmake --build "$dir" -j "$(nproc)"
  local status=0
  ctest --test-dir "$dir" --output-on-failure --no-tests=error -j "$(nproc)" --timeout 300 || status=$?
  # ctest shows no output for a skipped test: print each reason.
  grep -h -B1 -A1 -e ': Skipped$' -e '^skipped: ' "$dir/Testing/Temporary/LastTest.log" || true
  return "$status"
}

suite build
suite build-sanitize -DWDOG_SANITIZE=ON
suite build-i386 -DCMAKE_TOOLCHAIN_FILE=cmake/debian-cross.cmake -DWDOG_ARCH=i386
file -L build-i386/app/wdog
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "== the suite and the package on arm64 and armhf"
$sudo bash scripts/check-arch.sh arm64 armhf
bash scripts/lint.sh build
echo "== packages"
bash scripts/check-package.sh
# The other Debian release that is supported, checked from this one in a
# clean chroot of its own: stable checks oldstable, oldstable checks stable.
here=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
stable=$(distro-info --stable)
oldstable=$(distro-info --oldstable)
case $here in
  "$stable") other=$oldstable ;;
  "$oldstable") other=$stable ;;
  *) echo "this machine runs '$here', neither stable ($stable) nor oldstable ($oldstable)" >&2; exit 1 ;;
esac
echo "== packages on $other"
$sudo bash scripts/check-release.sh "$other"
echo "== the deployment at boot, on $here and $other"
$sudo bash scripts/check-boot.sh "$here"
$sudo bash scripts/check-boot.sh "$other"
echo "== fuzzing"
bash scripts/fuzz.sh "${WDOG_FUZZ_SECONDS:-60}"
echo "== all checks passed"
