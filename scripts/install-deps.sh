#!/bin/sh
# Installs the Debian 12 packages that building, testing and the demo need.
# Does nothing when all of them are present; uses sudo when not run as root.
set -eu

packages="cmake make g++ libgtest-dev libwxgtk3.2-dev procps clang libclang-rt-14-dev clang-tidy cppcheck valgrind python3 groff-base dpkg-dev lintian"

missing=""
for p in $packages; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "installing:$missing"
$sudo apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
