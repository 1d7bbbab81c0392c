#!/bin/bash
# Runs inside the clean chroot of a Debian release that check-release.sh
# makes, with that release's own tools, on the source package in /build:
#   release-checks.sh CODENAME MIRROR DSC [OLD-CODENAME]
# runs the project's linters (scripts/lint.sh) on the working tree copied to
# /build/tree; builds the package for amd64 (the build runs the fast part of
# the suite) and, with the cross compiler, for i386, neither with a compiler
# warning; lintian; autopkgtest with the null virt
# server; piuparts install, remove and purge in a clean chroot of CODENAME.
# With OLD-CODENAME, piuparts also upgrades a merged-/usr OLD-CODENAME chroot
# holding the package of /build/repo to CODENAME and installs this one.
# Anything that checked nothing fails.
set -euo pipefail
codename=$1
mirror=$2
dsc=$3
old=${4:-}
cd /build

. ./steps.sh
apt() {
  apt-get -y -q --no-install-recommends "$@"
}

version=$(sed -n 's/^Version: //p' "$dsc")
native=$(dpkg --print-architecture)
echo "== $codename: installing the build dependencies"
step "apt" "apt-$codename.log" apt update
step "extract" "extract-$codename.log" dpkg-source -x "$dsc" src
step "build-deps" "build-deps-$codename.log" apt build-dep ./src
# RELEASE_PART: lint, packages, or all of it.
part=${RELEASE_PART:-all}
[ "$part" = lint ] ||
  step "build-deps-i386" "build-deps-i386-$codename.log" apt build-dep -a i386 -P nocheck ./src

# The release's linters find what the other's miss. They read how each
# file is compiled, which configuring the tree tells: no build is needed.
lint() {
  local started=$SECONDS
  step "lint-deps" "lint-deps-$codename.log" apt install clang-tidy cppcheck
  echo "== $codename: lint, $(clang-tidy --version | sed -n 's/.*LLVM version //p') and $(cppcheck --version)"
  step "lint-configure" "lint-configure-$codename.log" cmake -S tree -B tree/build -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DWDOG_WERROR=ON -DBUILD_TESTING=ON
  step "lint" "lint-$codename.log" bash tree/scripts/lint.sh build
  grep -c '^no finding$' "lint-$codename.log" | grep -qx 2 || { cat "lint-$codename.log" >&2; echo "lint checked nothing" >&2; exit 1; }
  echo "clang-tidy and cppcheck: no finding ($((SECONDS - started)) s with their install)"
}
[ "$part" = packages ] || lint
[ "$part" != lint ] || exit 0

# build ARCH LOG [DPKG-BUILDPACKAGE OPTION...]
build() {
  local arch=$1 log=$2
  shift 2
  rm -rf src
  step "extract" "extract-$codename.log" dpkg-source -x "$dsc" src
  echo "== $codename: building wdog_${version}_$arch.deb"
  (cd src && step "package build" "../$log" dpkg-buildpackage -b -us -uc --host-arch "$arch" "$@")
  rm -rf src
  [ -f "wdog_${version}_$arch.deb" ] || { echo "the $arch build built no package" >&2; exit 1; }
  # The release's compiler may warn where the other's does not.
  if grep -E ':[0-9]+:[0-9]+: warning:' "$log"; then
    echo "the compiler warned in the $arch package build" >&2
    exit 1
  fi
}
build "$native" "build-$codename-$native.log"
grep -q -x '100% tests passed, 0 tests failed out of [0-9]*' "build-$codename-$native.log" ||
  { echo "the $native build ran no test" >&2; exit 1; }
grep -x '100% tests passed, .*' "build-$codename-$native.log"
DEB_BUILD_OPTIONS=nocheck build i386 "build-$codename-i386.log" -Pnocheck

echo "== $codename: lintian $(dpkg-query -W -f '${Version}' lintian)"
lintian --allow-root --fail-on error,warning ./*.dsc ./*.changes
# For a check that boots them meanwhile.
if [ -d ready ]; then
  cp ./wdog_"${version}"_*.deb ready/
  touch ready/done
fi

echo "== $codename: autopkgtest $(dpkg-query -W -f '${Version}' autopkgtest)"
status=0
autopkgtest --output-dir autopkgtest "wdog_${version}_${native}.deb" "$dsc" -- null \
  > "autopkgtest-$codename.log" 2>&1 || status=$?
# 0 is every test passed; 8 no test ran, 2 some skipped.
if [ "$status" -ne 0 ] || ! grep -Eq '^smoke +PASS' autopkgtest/summary; then
  tail -n 60 "autopkgtest-$codename.log" >&2
  echo "autopkgtest: status $status" >&2
  exit 1
fi
cat autopkgtest/summary

echo "== $codename: piuparts $(dpkg-query -W -f '${Version}' piuparts)"
# As for the chroot itself: the archive may be a snapshot.
step "piuparts" "piuparts-$codename.log" piuparts --no-check-valid-until --distribution "$codename" --mirror "$mirror" \
  "wdog_${version}_${native}.deb"
grep -q 'PASS: All tests' "piuparts-$codename.log" || { echo "piuparts tested nothing" >&2; exit 1; }
tail -n 1 "piuparts-$codename.log"

[ -n "$old" ] || exit 0
echo "== piuparts: $old to $codename"
(cd repo && dpkg-scanpackages . > Packages)
grep -q '^Package: wdog$' repo/Packages || { echo "no package of $old to upgrade" >&2; exit 1; }
step "piuparts-$old" "piuparts-$old-$codename.log" piuparts --no-check-valid-until --merged-usr \
  --distribution "$old" --distribution "$codename" --mirror "$mirror" \
  --extra-repo "deb [trusted=yes] file:///build/repo ./" --bindmount /build/repo \
  "wdog_${version}_${native}.deb"
grep -q 'PASS: All tests' "piuparts-$old-$codename.log" || { echo "piuparts tested nothing" >&2; exit 1; }
tail -n 1 "piuparts-$old-$codename.log"
