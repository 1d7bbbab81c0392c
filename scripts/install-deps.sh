#!/bin/sh
# Installs the Debian packages that are missing (Debian 12 or 13), one line per step, with
# sudo when not run as root. What building needs, and what the tests need,
# is debian/control's Build-Depends; the rest is listed here.
#   (no argument)  building and running wdog (the demo, the benchmark)
#   --package      building the packages for amd64 and, cross-built, i386
#                  (--package --native: amd64 alone)
#   --release      checking them on the other Debian release, in a chroot
#   --boot         booting them under systemd in virtual machines
#   --boot-arm64   booting the arm64 one in an arm64 virtual machine
#   --i386         building and testing the 32-bit x86 wdog
#   --arch ARCH    building and testing wdog for another Debian architecture
#                  beside this machine's (its cross compiler and multiarch
#                  Build-Depends); exits 3 when they cannot be installed
#                  together (version skew), which scripts/check-arch.sh
#                  answers with a clean chroot
#   --all          everything the test command uses: the above, the tests,
#                  lint, lintian, piuparts, valgrind, the fuzzer, and the
#                  architectures i386, arm64 and armhf where they install
# A package index that cannot be fetched (an archive mid-sync) is named and
# passed over: apt goes on with the lists it has. With WDOG_INSTALLED=1 (the
# test command's stages, after its set-up) nothing is installed: --arch only
# tells whether ARCH's packages are there.
set -eu
cd "$(dirname "$0")/.."

mode=${1:-}
# The demo and the benchmark look programs up with pgrep.
run_packages="procps"
# distro-info tells which release is stable, and so the packages' versions.
package_packages="distro-info"
# check-release.sh makes a clean chroot of the other release.
release_packages="distro-info mmdebstrap"
# check-boot.sh makes virtual machines of both architectures (arch-test lets
# mmdebstrap make an i386 one), images with mke2fs, reads them with debugfs.
boot_packages="distro-info mmdebstrap arch-test e2fsprogs qemu-system-x86"
# clang and its runtime build the fuzzer; valgrind needs the i386 C
# library's symbols to run a 32-bit program.
# piuparts installs, removes and purges the package in a clean chroot of
# this machine's release, which it makes with debootstrap (only a
# recommendation of Debian 13's piuparts).
# check-arch.sh registers qemu's user-mode emulators (enable-arch.sh would
# install them itself, later).
check_packages="clang libclang-rt-dev clang-tidy cppcheck valgrind lintian file piuparts debootstrap
  qemu-user-static podman runc"
# lintian and file check each architecture's package.
arch_packages="lintian file distro-info"

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# Progress goes to standard error: other scripts read this one's callers'
# standard output (package.sh prints the packages it built there).
say() {
  echo "$@" >&2
}

# Runs apt-get quietly; on failure shows what it said and fails.
apt() {
  if ! $sudo env DEBIAN_FRONTEND=noninteractive apt-get -y -q --no-install-recommends "$@" > "$log" 2>&1; then
    tail -n 30 "$log" >&2
    return 1
  fi
}

# Updates the package lists. An index that cannot be fetched is named and
# left out: the lists apt has serve, and what depends on that index alone
# fails later, by itself.
update() {
  say "updating the package lists"
  if ! $sudo apt-get update -q > "$log" 2>&1; then
    grep -E '^(E|W|Err):' "$log" >&2 || cat "$log" >&2
    say "going on with the package lists apt has"
  fi
  updated=yes
}

# Prints how many packages apt-get would install for these arguments; fails
# when it cannot tell (no package lists yet, or a name it does not know).
new_packages() {
  out=$(apt-get -s -q --no-install-recommends "$@" 2> /dev/null) || return 1
  printf '%s\n' "$out" | grep -c '^Inst ' || true
}

updated=""
# Installs what apt-get would install for these arguments, if anything.
# step LABEL APT-ARGUMENTS...
step() {
  label=$1
  shift
  count=$(new_packages "$@") || count=
  [ "$count" = 0 ] && return 0
  [ -z "${WDOG_INSTALLED:-}" ] || { say "$label: not installed"; return 1; }
  if [ -z "$updated" ]; then
    update
    count=$(new_packages "$@") || count=
    [ "$count" = 0 ] && return 0
  fi
  case $count in
    "") say "installing $label" ;;
    1) say "installing $label: 1 package" ;;
    *) say "installing $label: $count packages" ;;
  esac
  apt "$@"
}

# arch ARCH [BUILD-DEP OPTION...]: ARCH's cross compiler and Build-Depends
# beside this machine's own; fails when they cannot be installed together,
# and then forgets ARCH again if nothing of it is installed.
arch() {
  a=$1
  shift
  if ! dpkg --print-foreign-architectures | grep -qx "$a"; then
    [ -z "${WDOG_INSTALLED:-}" ] || { say "the $a architecture is not added"; return 1; }
    say "adding the $a architecture"
    $sudo dpkg --add-architecture "$a"
    updated="" # the lists hold no package of it yet
  fi
  extra=""
  # valgrind runs 32-bit x86 programs with their C library's symbols.
  [ "$a" != i386 ] || extra="libc6-dbg:i386"
  step "the $a cross compiler" install "crossbuild-essential-$a" &&
    step "$a build dependencies" build-dep -a "$a" "$@" ./ &&
    { [ -z "$extra" ] || step "$extra" install $extra; } && return 0
  say "the $a packages cannot be installed beside this machine's"
  if [ -z "${WDOG_INSTALLED:-}" ] && [ -z "$(dpkg-query -W -f '${Package}\n' "*:$a" 2> /dev/null)" ]; then
    $sudo dpkg --remove-architecture "$a" 2> /dev/null || true
  fi
  return 1
}

case $mode in
  "")
    step "build dependencies" build-dep -P nocheck ./
    step "what running needs" install $run_packages
    ;;
  --package)
    step "build dependencies" build-dep ./
    # --native: this machine's package alone.
    [ "${2:-}" = --native ] || arch i386 -P nocheck || exit 3
    step "package tools" install $package_packages
    ;;
  --release)
    step "release check tools" install $release_packages
    ;;
  --boot)
    step "boot check tools" install $boot_packages
    ;;
  --boot-arm64)
    step "arm64 boot check tools" install $boot_packages qemu-system-arm
    ;;
  --i386)
    arch i386 || exit 3
    ;;
  --arch)
    [ -n "${2:-}" ] || { echo "usage: install-deps.sh --arch ARCH" >&2; exit 2; }
    step "$2 check tools" install $arch_packages
    arch "$2" || exit 3
    ;;
  --all)
    step "build dependencies" build-dep ./
    step "check tools" install $run_packages $check_packages $package_packages $release_packages \
      $boot_packages $arch_packages
    # Where an architecture cannot be installed here, its check runs in a
    # chroot: that is no failure of the set-up.
    for a in i386 arm64 armhf; do
      arch "$a" || say "the $a checks run in a clean chroot"
    done
    ;;
  *)
    echo "usage: install-deps.sh [--package | --release | --boot | --boot-arm64 | --i386 | --arch ARCH | --all]" >&2
    exit 2
    ;;
esac
