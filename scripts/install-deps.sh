#!/bin/sh
# Installs the Debian 12 packages that building, testing and the demo need;
# with --i386, also those of the 32-bit x86 build (adding Debian's i386
# architecture). Does nothing when all of them are present; uses sudo when
# not run as root.
set -eu

packages="cmake make g++ libgtest-dev libwxgtk3.2-dev procps clang libclang-rt-14-dev clang-tidy cppcheck valgrind python3 groff-base dpkg-dev lintian file"
# valgrind needs the i386 C library's symbols to run a 32-bit program.
i386_packages="g++-multilib libwxgtk3.2-dev:i386 libgtest-dev:i386 libc6-dbg:i386"

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

if [ "${1:-}" = --i386 ]; then
  packages="$packages $i386_packages"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "adding the i386 architecture"
    $sudo dpkg --add-architecture i386
  fi
fi

# A name without an architecture is this machine's own (or "all"); with more
# than one architecture installed, dpkg lists each.
native=$(dpkg --print-architecture)
installed() {
  case $1 in
    *:*) want=${1#*:} ;;
    *) want=$native ;;
  esac
  dpkg-query -W -f='${Architecture} ${db:Status-Status}\n' "$1" 2>/dev/null |
    grep -q -x -E "($want|all) installed"
}

missing=""
for p in $packages; do
  installed "$p" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

echo "installing:$missing"
$sudo apt-get update -qq
# The whole set in one request, so that apt keeps every architecture's
# development files of the framework.
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $packages
