#!/bin/bash
# Builds the Debian packages of wdog into build-package/, installing what is
# missing first: for this machine's architecture with the fast part of the
# test suite (DEB_BUILD_OPTIONS=nocheck leaves it out), and for i386 with
# Debian's cross compiler (a cross build runs no test). Each is built from
# a copy of this tree at build-package/wdog-<version>, so two builds of the
# same tree happen at the same path. Prints the paths of the two packages.
set -euo pipefail
cd "$(dirname "$0")/.."

sh scripts/install-deps.sh --package
out=$PWD/build-package
version=$(dpkg-parsechangelog -S Version)
native=$(dpkg --print-architecture)
mkdir -p "$out"

# build ARCH [DPKG-BUILDPACKAGE OPTION...]
build() {
  local arch=$1 src=$out/wdog-${version%-*}
  shift
  rm -rf "$src"
  mkdir "$src"
  tar --exclude='./build*' --exclude=./.git --exclude='./obj-*' -cf - . | tar -xf - -C "$src"
  echo "building wdog_${version}_$arch.deb" >&2
  if ! (cd "$src" && dpkg-buildpackage -b -us -uc --host-arch "$arch" "$@") > "$out/build-$arch.log" 2>&1; then
    cat "$out/build-$arch.log" >&2
    exit 1
  fi
  rm -rf "$src"
  echo "$out/wdog_${version}_$arch.deb"
}

build "$native"
DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:-} nocheck" build i386 -Pnocheck
