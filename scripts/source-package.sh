#!/bin/bash
# Makes wdog's source package for a Debian release (default: this machine's)
# in build-package/ (or WDOG_OUT) from what is committed (HEAD), and prints the path of its
# .dsc. The upstream tarball wdog_<upstream>.orig.tar.xz is HEAD without
# debian/, shared by every release's source package.
#
# Versions follow Debian's backports: a release older than the current
# stable one (distro-info) gets the changelog's version with ~deb<N>u1
# added, so that upgrading the system upgrades the package
# (1.1.0-1~deb12u1 < 1.1.0-1); stable, testing and unstable get the
# changelog's version as it stands. The added changelog entry is dated one
# second after the one below it, which keeps the build reproducible.
#
# --version: prints only the version the release's package gets.
set -euo pipefail
cd "$(dirname "$0")/.."

only_version=""
if [ "${1:-}" = --version ]; then
  only_version=yes
  shift
fi
codename=${1:-$(. /etc/os-release && echo "${VERSION_CODENAME:-}")}
[ -n "$codename" ] || { echo "no release given, and /etc/os-release names none" >&2; exit 1; }
number=$(distro-info --series="$codename" --release) ||
  { echo "distro-info knows no release $codename" >&2; exit 1; }
stable=$(distro-info --stable --release)
suffix=""
if [[ $number =~ ^[0-9]+$ ]] && [ "$number" -lt "$stable" ]; then
  suffix="~deb${number}u1"
fi

out=${WDOG_OUT:-$PWD/build-package}
version=$(git show HEAD:debian/changelog | dpkg-parsechangelog -l- -S Version)
if [ -n "$only_version" ]; then
  echo "$version$suffix"
  exit 0
fi
upstream=${version%-*}
src=$out/wdog-$upstream
mkdir -p "$out"
rm -rf "$src"

# Made anew each time, byte for byte the same for the same commit.
orig=$out/wdog_$upstream.orig.tar.xz
mapfile -t upstream_files < <(git ls-tree --name-only HEAD | grep -vx debian)
git archive --format=tar --prefix="wdog-$upstream/" HEAD "${upstream_files[@]}" |
  xz -T1 -6 > "$orig"
tar -xf "$orig" -C "$out"
git archive --format=tar HEAD debian | tar -xf - -C "$src"

if [ -n "$suffix" ]; then
  changelog=$src/debian/changelog
  maintainer=$(dpkg-parsechangelog -l "$changelog" -S Maintainer)
  # One second after the entry below it: newer, as Debian requires, and the
  # same at every build.
  date=$(date -u -R -d "@$(($(dpkg-parsechangelog -l "$changelog" -S Timestamp) + 1))")
  {
    printf 'wdog (%s) %s; urgency=medium\n\n' "$version$suffix" "$codename"
    printf '  * Rebuilt for Debian %s.\n\n' "$number"
    printf ' -- %s  %s\n\n' "$maintainer" "$date"
    cat "$changelog"
  } > "$changelog.new"
  mv "$changelog.new" "$changelog"
fi

echo "making wdog_$version$suffix.dsc" >&2
if ! (cd "$out" && dpkg-source -b "wdog-$upstream") > "$out/source-$codename.log" 2>&1; then
  cat "$out/source-$codename.log" >&2
  exit 1
fi
rm -rf "$src"
echo "$out/wdog_$version$suffix.dsc"
