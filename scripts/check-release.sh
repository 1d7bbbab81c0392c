#!/bin/bash
# Checks wdog on a Debian release (CODENAME: bookworm, trixie, sid, ...) the
# way Debian checks a package for a release it was not built on: in a clean
# chroot of that release, made with mmdebstrap from the archive apt uses
# here, with that release's own tools (scripts/release-checks.sh, run
# inside). There, the release's source package (scripts/source-package.sh)
# is built for amd64, running the fast part of the suite, and cross-built
# for i386; lintian checks the results; autopkgtest runs the package's tests
# with the null virt server (the chroot is the testbed); piuparts installs,
# removes and purges the amd64 package in a clean chroot of the same
# release. The project's own linters of that release (scripts/lint.sh:
# clang-tidy and cppcheck) run there too, on a copy of this working tree,
# and the release's compiler must build the packages without a warning, so
# that each release sees the other's findings. The results land in build-package/
# beside this machine's own (or in WDOG_OUT).
#
# --upgrade: first builds this machine's packages (scripts/package.sh); at
# the end piuparts installs this machine's package in a merged-/usr chroot of
# this machine's release, offered from a local repository, upgrades that
# chroot to CODENAME, and installs CODENAME's package.
#
# --lint or --packages: only the linters, or only the packages and their
# checks, each in a chroot of its own (the test command runs them side by
# side).
#
# The packages are also put into packages-ready/ beside the results as soon
# as lintian has passed them, with a file "done" after them, for a check
# that boots them while autopkgtest and piuparts run.
#
# Needs root; changes nothing on the host but its Debian packages.
set -euo pipefail
cd "$(dirname "$0")/.."

upgrade=""
part=all
while [ "$#" -gt 1 ]; do
  case $1 in
    --upgrade) upgrade=yes ;;
    --lint) part=lint ;;
    --packages) part=packages ;;
    *) break ;;
  esac
  shift
done
codename=${1:-}
[ -n "$codename" ] || { echo "usage: check-release.sh [--upgrade] [--lint | --packages] CODENAME" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "check-release.sh makes a chroot: run it as root" >&2; exit 1; }

sh scripts/install-deps.sh --release
here=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
mirror=$(bash scripts/archive-mirror.sh)

old_deb=""
if [ -n "$upgrade" ]; then
  old_deb=$(bash scripts/package.sh | sed -n 1p)
  [ -f "$old_deb" ] || { echo "package.sh built no package: '$old_deb'" >&2; exit 1; }
fi
dsc=$(bash scripts/source-package.sh "$codename")
out=$(dirname "$dsc")

root=$(mktemp -d /var/tmp/wdog-"$codename".XXXXXX)
# Unmounts everything under the chroot, lazily when busy, and removes it
# only when nothing is mounted there any more: removed with a mount in
# place, it could take the host's /dev/shm with it.
cleanup() {
  local mounts
  mounts=$(findmnt -rn -o TARGET | grep -F "$root/" | sort -r) || true
  for mount in $mounts; do
    umount "$mount" 2> /dev/null || umount -l "$mount" 2> /dev/null || true
  done
  if findmnt -rn -o TARGET | grep -qF "$root/"; then
    echo "left $root in place: still mounted" >&2
    return
  fi
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT

echo "making a clean $codename chroot"
# The archive apt uses may be a snapshot, whose Release files for unstable
# and testing expire; stable releases' never do.
if ! mmdebstrap --variant=apt --architectures=amd64,i386 \
    --aptopt='Acquire::Check-Valid-Until "false"' \
    --include=build-essential,crossbuild-essential-i386,lintian,autopkgtest,piuparts,debootstrap,ca-certificates \
    "$codename" "$root" "deb $mirror $codename main" > "$out/chroot-$codename.log" 2>&1; then
  cat "$out/chroot-$codename.log" >&2
  echo "could not make a $codename chroot" >&2
  exit 1
fi
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"
mount -t sysfs sysfs "$root/sys"
# The watchdog's lock lives in /dev/shm: the chroot's must not be the host's.
mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
cp /etc/resolv.conf "$root/etc/resolv.conf"

mkdir "$root/build"
cp "$dsc" "$out"/wdog_*.orig.tar.xz "${dsc%.dsc}.debian.tar.xz" scripts/release-checks.sh scripts/steps.sh \
  "$root/build/"
# The working tree as it stands, tracked files and new ones alike, for the
# linters: the source package is HEAD, and its unpacked tree is removed
# after each build.
mkdir "$root/build/tree"
git ls-files -z -c -o --exclude-standard | tar -c --null -T - -f - | tar -x -C "$root/build/tree" -f -
[ -f "$root/build/tree/scripts/lint.sh" ] || { echo "copied no working tree" >&2; exit 1; }
rm -rf "$out/packages-ready"
mkdir "$out/packages-ready" "$root/build/ready"
mount --bind "$out/packages-ready" "$root/build/ready"
if [ -n "$old_deb" ]; then
  mkdir "$root/build/repo"
  cp "$old_deb" "$root/build/repo/"
fi
status=0
chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
  DEBIAN_FRONTEND=noninteractive RELEASE_PART="$part" \
  /bin/bash /build/release-checks.sh "$codename" "$mirror" "${dsc##*/}" "${upgrade:+$here}" || status=$?
for file in "$root"/build/*.deb "$root"/build/*.changes "$root"/build/*.buildinfo \
  "$root"/build/*"$codename"*.log; do
  [ ! -e "$file" ] || cp "$file" "$out/"
done
[ "$status" -eq 0 ] || { echo "the $codename checks failed" >&2; exit "$status"; }
echo "== $codename: the checks ($part) passed${upgrade:+; upgrade from $here passed}"
