#!/bin/bash
# Makes the source package of wdog and its Debian packages in a fresh
# build-package/, installing what is missing first. Everything comes from
# what is committed (HEAD), never from the work tree: the upstream tarball
# wdog_<upstream>.orig.tar.xz is HEAD without debian/, the .dsc and
# .debian.tar.xz add HEAD's debian/, and both packages are built from the
# unpacked .dsc at the same path: for this machine's architecture with the
# fast part of the test suite (DEB_BUILD_OPTIONS=nocheck leaves it out), and
# for i386 with Debian's cross compiler (a cross build runs no test). Prints
# the paths of the two packages.
set -euo pipefail
cd "$(dirname "$0")/.."

sh scripts/install-deps.sh --package
out=$PWD/build-package
version=$(git show HEAD:debian/changelog | dpkg-parsechangelog -l- -S Version)
upstream=${version%-*}
native=$(dpkg --print-architecture)
src=$out/wdog-$upstream
rm -rf "$out"
mkdir "$out"

# The upstream tarball, then the source package.
mapfile -t upstream_files < <(git ls-tree --name-only HEAD | grep -vx debian)
git archive --format=tar --prefix="wdog-$upstream/" HEAD "${upstream_files[@]}" |
  xz -T1 -6 > "$out/wdog_$upstream.orig.tar.xz"
tar -xf "$out/wdog_$upstream.orig.tar.xz" -C "$out"
git archive --format=tar HEAD debian | tar -xf - -C "$src"
echo "making wdog_$version.dsc" >&2
if ! (cd "$out" && dpkg-source -b "wdog-$upstream") > "$out/source.log" 2>&1; then
  cat "$out/source.log" >&2
  exit 1
fi

# build ARCH [DPKG-BUILDPACKAGE OPTION...]
build() {
  local arch=$1
  shift
  rm -rf "$src"
  if ! (cd "$out" && dpkg-source -x "wdog_$version.dsc" "wdog-$upstream") > "$out/extract.log" 2>&1; then
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
DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:-} nocheck" build i386 -Pnocheck
