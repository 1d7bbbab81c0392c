#!/bin/bash
# Makes the source package and both Debian packages (scripts/package.sh) and
# checks them the way Debian checks packages: the version is the
# changelog's everywhere; the build ran the fast part of the suite; lintian
# finds no error and no warning in the source package, the packages, their
# debug symbols, .changes or .buildinfo; the package's own autopkgtest smoke
# test passes against each unpacked wdog; the manual page and the examples
# are installed, and the page renders without a warning; piuparts installs,
# removes and purges this machine's package in a clean chroot of this
# machine's own release (Debian 12 or 13); and this machine's package, built
# again with nocheck, is byte for byte the first.
#
# check-package.sh --native: this machine's package alone (the i386 one is
# then made elsewhere: scripts/check-arch.sh i386, in a chroot where its
# libraries cannot be installed here).
# check-package.sh --deb DEB...: only the checks of each unpacked package.
# The packages land in build-package/, or WDOG_OUT.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${WDOG_OUT:-$PWD/build-package}

# Each package unpacked: its wdog of the right architecture, with wide time
# calls, passing the smoke test; its manual page and its examples.
check_debs() {
  local work deb root warnings example
  work=$(mktemp -d)
  for deb in "$@"; do
    [ -f "$deb" ] || { echo "no package $deb" >&2; rm -rf "$work"; return 1; }
    root=$work/${deb##*/}
    dpkg-deb -x "$deb" "$root"
    file -L "$root/usr/bin/wdog"
    sh tests/wide_time_symbols.sh "$root/usr/bin/wdog"
    sh debian/tests/smoke "$root/usr/bin/wdog"
    warnings=$(zcat "$root/usr/share/man/man1/wdog.1.gz" | groff -t -man -ww -Tutf8 2>&1 > /dev/null)
    [ -z "$warnings" ] || { echo "$warnings"; return 1; }
    for example in app.service run-server heartbeat.sh; do
      [ -f "$root/usr/share/doc/wdog/examples/$example" ] ||
        { echo "$deb: no examples/$example" >&2; return 1; }
    done
  done
  rm -rf "$work"
}

if [ "${1:-}" = --deb ]; then
  shift
  [ "$#" -gt 0 ] || { echo "usage: check-package.sh --deb DEB..." >&2; exit 2; }
  check_debs "$@"
  exit 0
fi
native=""
[ "${1:-}" != --native ] || native=yes

list=$(bash scripts/package.sh ${native:+--native})
mapfile -t debs <<< "$list"
for deb in "${debs[@]}"; do
  [ -f "$deb" ] || { echo "package.sh built no package: '$list'" >&2; exit 1; }
done
want=2
[ -z "$native" ] || want=1
[ "${#debs[@]}" -eq "$want" ] || { echo "package.sh built ${#debs[@]} packages, not $want" >&2; exit 1; }

upstream=$(dpkg-parsechangelog -S Version)
upstream=${upstream%-*}
if ! grep -q "^project(wdog VERSION $upstream " CMakeLists.txt ||
    ! grep -q "^\.TH WDOG 1 .* \"wdog $upstream\"" docs/wdog.1; then
  echo "debian/changelog says $upstream: CMakeLists.txt and docs/wdog.1 must say so too" >&2
  exit 1
fi
log=$out/build-$(dpkg --print-architecture).log
grep -q -x '100% tests passed, 0 tests failed out of [0-9]*' "$log" ||
  { echo "the package's build ran no test" >&2; exit 1; }

lintian --allow-root --fail-on error,warning "$out"/*.dsc "$out"/*.changes
echo "lintian: no error, no warning in the source package and the packages"

check_debs "${debs[@]}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A clean chroot of this machine's own release, from the archive that apt
# here uses.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[ -n "$codename" ] || { echo "/etc/os-release names no release" >&2; exit 1; }
mirror=$(apt-get indextargets --format '$(REPO_URI)' "Codename: $codename" 'Component: main' \
  'Created-By: Packages' | head -n 1)
[ -n "$mirror" ] || { echo "apt here uses no archive of $codename" >&2; exit 1; }
if ! piuparts --distribution "$codename" --mirror "$mirror" "${debs[0]}" > "$work/piuparts.log" 2>&1; then
  cat "$work/piuparts.log" >&2
  exit 1
fi
tail -n 1 "$work/piuparts.log"

# Reproducible, and the same without its tests: this machine's package,
# built once more from the same commit with nocheck.
first=$work/first.deb
cp "${debs[0]}" "$first"
DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:-} nocheck" bash scripts/package.sh ${native:+--native} > /dev/null
! grep -q 'tests passed' "$log" || { echo "nocheck ran the tests" >&2; exit 1; }
cmp "$first" "${debs[0]}"
echo "${debs[0]##*/}: built again with nocheck, byte for byte the same"
