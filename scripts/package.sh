#!/bin/bash
# Makes the source package of wdog for this machine's release
# (scripts/source-package.sh) and its Debian packages in a fresh
# build-package/, installing what is missing first. Everything comes from
# what is committed (HEAD), never from the work tree, and both packages are
# built from the unpacked .dsc at the same path: for this machine's architecture with the
# fast part of the test suite (DEB_BUILD_OPTIONS=nocheck leaves it out), and
# for i386 with Debian's cross compiler (a cross build runs no test). Prints
# the paths of the two packages. With --native, only this machine's
# package. WDOG_OUT names another folder than build-package/.
set -euo pipefail
cd "$(dirname "$0")/.."

native_only=""
[ "${1:-}" != --native ] || native_only=yes
sh scripts/install-deps.sh --package ${native_only:+--native}
out=${WDOG_OUT:-$PWD/build-package}
rm -rf "$out"
dsc=$(bash scripts/source-package.sh)
version=$(sed -n 's/^Version: //p' "$dsc")
upstream=${version%-*}
src=$out/wdog-$upstream
native=$(dpkg --print-architecture)

# build ARCH [DPKG-BUILDPACKAGE OPTION...]
build() {
  local arch=$1
  shift
  rm -rf "$src"
  if ! (cd "$out" && dpkg-source -x "$dsc" "wdog-$upstream") > "$out/extract.log" 2>&1; then
    cat "$out/extract.log" >&2
    exit 1
  fi
  echo "building wdog_${version}_$arch.deb" >&2
  if ! (cd "$src" && dpkg-buildpackage -b -us -uc --host-arch "$arch" "$@") > "$out/build-$arch.log" 2>&1; then
    cat "$out/build-$arch.log" >&2
    exit 1
  fi
  rm -rf "$src"
  echo "$out/wdog_${version}_$arch.deb"
}

build "$native"
[ -n "$native_only" ] || DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:-} nocheck" build i386 -Pnocheck
