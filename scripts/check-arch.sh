#!/bin/bash
# Builds, tests and packages wdog for another Debian architecture on this
# machine (root, like the other checks):
#   check-arch.sh [--slow] ARCH...   (arm64, armhf, i386, s390x, ...)
#   check-arch.sh [--slow] --all     every release architecture of this
#                                    machine's release but its own
#   check-arch.sh --boot arm64       the same for arm64, then its package
#                                    booted in an arm64 virtual machine
#                                    (scripts/check-boot.sh CODENAME arm64)
# For each: adds the architecture, installs its cross toolchain and the
# multiarch Build-Depends (and only those), makes sure its programs run
# here (scripts/enable-arch.sh: natively, or under qemu's user-mode
# emulator registered with binfmt_misc), builds wdog and the whole suite
# into build-ARCH/ with cmake/debian-cross.cmake and warnings as errors,
# runs the suite (under emulation without the tests labelled slow, the load
# and soak tests, which measure the emulator more than the code, unless
# --slow), builds the Debian package for ARCH from the source package of
# HEAD, runs lintian on it, and unpacks it to run its wdog through the
# package's smoke test (scripts/check-package.sh --deb). The packages land in build-package/.
#
# Where the architecture's libraries cannot be installed beside this
# machine's (the archive's security suite serves only some architectures,
# and multiarch libraries must have one version on all of them), the same
# runs in a clean chroot of this release made from its main suite alone
# with mmdebstrap, as check-release.sh makes chroots, on a copy of the
# working tree.
#
# Prints what it runs and how long each step took. WDOG_OUT names another
# folder than build-package/; WDOG_ALONE_LOCK, the lock that the tests that
# must run alone on the machine take, is shared with a chroot.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/steps.sh

slow=""
if [ "${1:-}" = --slow ]; then
  slow=yes
  shift
fi
boot=""
if [ "${1:-}" = --boot ]; then
  boot=yes
  shift
  [ "$*" = arm64 ] || { echo "usage: check-arch.sh --boot arm64 (the one machine it boots)" >&2; exit 2; }
fi
[ "$#" -gt 0 ] || { echo "usage: check-arch.sh [--slow] ARCH... | --all | --boot arm64" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "check-arch.sh installs packages and registers emulators: run it as root" >&2; exit 1; }
here=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
native=$(dpkg --print-architecture)
if [ "$1" = --all ]; then
  case $here in
    bookworm) set -- i386 arm64 armhf armel ppc64el s390x mips64el ;;
    trixie) set -- i386 arm64 armhf armel ppc64el s390x riscv64 ;;
    *) echo "no list of release architectures for '$here'" >&2; exit 1 ;;
  esac
fi
out=${WDOG_OUT:-$PWD/build-package}
mkdir -p "$out"
apt() {
  DEBIAN_FRONTEND=noninteractive apt-get -y -q --no-install-recommends "$@"
}

# The cross toolchain and the multiarch Build-Depends of ARCH beside this
# machine's own: 0 when they are there, 3 when they cannot be installed
# together (then the check runs in a clean chroot).
install_deps() {
  step "cross toolchain and $1 Build-Depends" "$out/deps-$1.log" sh scripts/install-deps.sh --arch "$1"
}

# Builds, tests and packages ARCH here.
check_here() {
  local arch=$1 dir=build-$1 emulated="" skipped
  step "runs $arch programs" "$out/enable-$arch.log" sh scripts/enable-arch.sh "$arch"
  grep -q "under qemu" "$out/enable-$arch.log" && emulated=yes
  step "configure" "$out/configure-$arch.log" cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE=cmake/debian-cross.cmake -DWDOG_ARCH="$arch" -DWDOG_WERROR=ON \
    -DBUILD_TESTING=ON -DWDOG_SANITIZE=OFF -DWDOG_FUZZ=OFF
  step "build" "$out/build-suite-$arch.log" cmake --build "$dir" -j "$(nproc)"
  file -L "$dir/app/wdog"
  local exclude=()
  if [ -n "$emulated" ] && [ -z "$slow" ]; then
    exclude=(-LE slow)
    echo "  under emulation: the tests labelled slow (load, soak, valgrind) are left out"
  fi
  local status=0
  step "suite${emulated:+ under emulation}" "$out/suite-$arch.log" ctest --test-dir "$dir" \
    --output-on-failure --no-tests=error -j "$(nproc)" --timeout 600 "${exclude[@]}" || status=$?
  grep -E '^[0-9]+% tests passed' "$out/suite-$arch.log" || true
  # ctest shows no output for a skipped test: print each reason.
  grep -h -B1 -A1 -e ': Skipped$' -e '^skipped: ' "$dir/Testing/Temporary/LastTest.log" || true
  skipped=$(grep -c '\*\*\*Skipped' "$out/suite-$arch.log" || true)
  echo "  $arch: $skipped tests skipped"
  [ "$status" -eq 0 ] || return "$status"
  package "$arch"
}

# The Debian package for ARCH, cross-built from the source package of HEAD
# (a cross build runs no test), then lintian.
package() {
  local arch=$1 dsc version upstream src
  dsc=$(bash scripts/source-package.sh) || return 1
  version=$(sed -n 's/^Version: //p' "$dsc")
  upstream=${version%-*}
  src=$out/wdog-$upstream-$arch
  rm -rf "$src"
  step "unpack the source package" "$out/extract-$arch.log" dpkg-source -x "$dsc" "$src"
  (cd "$src" && step "package" "$out/build-$arch.log" \
    env DEB_BUILD_OPTIONS=nocheck dpkg-buildpackage -B -us -uc --host-arch "$arch" -Pnocheck)
  rm -rf "$src"
  local changes=$out/wdog_${version}_$arch.changes
  [ -f "$out/wdog_${version}_$arch.deb" ] && [ -f "$changes" ] ||
    { echo "the $arch build built no package" >&2; return 1; }
  if grep -E ':[0-9]+:[0-9]+: warning:' "$out/build-$arch.log"; then
    echo "the compiler warned in the $arch package build" >&2
    return 1
  fi
  step "lintian $(dpkg-query -W -f '${Version}' lintian)" "$out/lintian-$arch.log" \
    lintian --allow-root --fail-on error,warning "$changes"
  step "the unpacked package" "$out/unpacked-$arch.log" \
    bash scripts/check-package.sh --deb "$out/wdog_${version}_$arch.deb"
  echo "  $out/wdog_${version}_$arch.deb"
}

# The same in a clean chroot of this release, made from its main suite
# alone, on a copy of the working tree.
check_in_chroot() {
  local arch=$1 root mirror status=0 include
  mirror=$(bash scripts/archive-mirror.sh)
  root=$(mktemp -d /var/tmp/wdog-arch-"$arch".XXXXXX)
  # shellcheck disable=SC2064
  trap "umount -R '$root/proc' '$root/dev' '$root/sys' '$root/wdog-alone.lock' 2> /dev/null || true; rm -rf --one-file-system '$root'" RETURN
  command -v mmdebstrap > /dev/null ||
    step "mmdebstrap" "$out/chroot-$arch.log" apt install mmdebstrap arch-test || return 1
  include="build-essential,crossbuild-essential-$arch,lintian,file,cmake,distro-info,git,ca-certificates"
  # The slow tests include the run under valgrind, which needs the
  # architecture's C library symbols.
  [ -z "$slow" ] || include+=",valgrind,libc6-dbg:$arch"
  step "clean $here chroot for amd64 and $arch" "$out/chroot-$arch.log" \
    mmdebstrap --variant=apt --architectures="$native,$arch" --aptopt='Acquire::Check-Valid-Until "false"' \
    --include="$include" "$here" "$root" "deb $mirror $here main" || return 1
  mount -t proc proc "$root/proc"
  # The emulators registered here, seen from there: enable-arch.sh tells
  # emulation from native runs by them.
  mount -t binfmt_misc binfmt_misc "$root/proc/sys/fs/binfmt_misc" 2> /dev/null || true
  mount --rbind /dev "$root/dev"
  mount --make-rslave "$root/dev"
  mount -t sysfs sysfs "$root/sys"
  mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
  local alone=()
  if [ -n "${WDOG_ALONE_LOCK:-}" ] && touch "$WDOG_ALONE_LOCK" "$root/wdog-alone.lock" &&
      mount --bind "$WDOG_ALONE_LOCK" "$root/wdog-alone.lock"; then
    alone=(WDOG_ALONE_LOCK=/wdog-alone.lock)
  fi
  mkdir "$root/wdog"
  git ls-files -z -c -o --exclude-standard | tar -c --null -T - -f - | tar -x -C "$root/wdog" -f -
  # The source package is made from HEAD: the copy is a repository too.
  git bundle create "$root/wdog.bundle" HEAD > /dev/null 2>&1
  (cd "$root/wdog" && git init -q && git fetch -q ../wdog.bundle HEAD && git reset -q --soft FETCH_HEAD)
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    WDOG_ARCH_IN_CHROOT=1 "${alone[@]}" /bin/bash /wdog/scripts/check-arch.sh ${slow:+--slow} "$arch" || status=$?
  cp "$root"/wdog/build-package/wdog_*_"$arch".* "$root"/wdog/build-package/*-"$arch".log "$out/" 2> /dev/null || true
  return "$status"
}

failed=()
for arch in "$@"; do
  if [ "$arch" = "$native" ]; then
    echo "== $arch: this machine's own architecture, checked by the main suite"
    continue
  fi
  echo "== $arch on $here"
  start=$SECONDS
  status=0
  install_deps "$arch" || status=$?
  if [ "$status" -eq 0 ]; then
    check_here "$arch" || status=$?
  elif [ "$status" -eq 3 ] && [ -z "${WDOG_ARCH_IN_CHROOT:-}" ]; then
    echo "  the $arch libraries cannot be installed beside this machine's: in a clean chroot"
    status=0
    check_in_chroot "$arch" || status=$?
  fi
  if [ "$status" -eq 0 ]; then
    echo "== $arch: passed in $((SECONDS - start)) s"
  else
    echo "== $arch: FAILED after $((SECONDS - start)) s" >&2
    failed+=("$arch")
  fi
done
[ "${#failed[@]}" -eq 0 ] || { echo "failed: ${failed[*]}" >&2; exit 1; }
[ -z "$boot" ] || bash scripts/check-boot.sh "$here" arm64
