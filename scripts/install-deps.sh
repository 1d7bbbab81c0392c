#!/bin/sh
# Installs the Debian packages that are missing (Debian 12 or 13), one line per step, with
# sudo when not run as root. What building needs, and what the tests need,
# is debian/control's Build-Depends; the rest is listed here.
#   (no argument)  building and running wdog (the demo, the benchmark)
#   --package      building the packages for amd64 and, cross-built, i386
#   --release      checking them on the other Debian release, in a chroot
#   --boot         booting them under systemd in virtual machines
#   --boot-arm64   booting the arm64 one in an arm64 virtual machine
#   --i386         building and testing the 32-bit x86 wdog
#   --all          everything the test command uses: the above, the tests,
#                  the 32-bit suite, lint, lintian, piuparts, valgrind and
#                  the fuzzer
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
check_packages="clang libclang-rt-dev clang-tidy cppcheck valgrind libc6-dbg:i386 lintian file piuparts debootstrap"

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# Progress goes to standard error: other scripts read this one's callers'
# standard output (package.sh prints the packages it built there).
say() {
  echo "$@" >&2
}

# Runs apt-get quietly; on failure shows what it said and stops.
apt() {
  if ! $sudo env DEBIAN_FRONTEND=noninteractive apt-get -y -q --no-install-recommends "$@" > "$log" 2>&1; then
    cat "$log" >&2
    exit 1
  fi
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
  if [ -z "$updated" ]; then
    say "updating the package lists"
    apt update
    updated=yes
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

i386() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    say "adding the i386 architecture"
    $sudo dpkg --add-architecture i386
    updated="" # the lists hold no i386 package yet
  fi
  step "i386 build dependencies" build-dep -a i386 "$@" ./
  step "the i386 cross compiler" install crossbuild-essential-i386
}

case $mode in
  "")
    step "build dependencies" build-dep -P nocheck ./
    step "what running needs" install $run_packages
    ;;
  --package)
    step "build dependencies" build-dep ./
    i386 -P nocheck
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
    i386
    ;;
  --all)
    step "build dependencies" build-dep ./
    i386
    step "check tools" install $run_packages $check_packages $package_packages $release_packages \
      $boot_packages
    ;;
  *)
    echo "usage: install-deps.sh [--package | --release | --boot | --boot-arm64 | --i386 | --all]" >&2
    exit 2
    ;;
esac
