#!/bin/bash
# Installs what is missing, then runs every check, side by side as stages
# (scripts/steps.sh): the test suite in a build with warnings as errors,
# beside a wdog of the name "wdog" and the demo; the suite again under
# AddressSanitizer and UndefinedBehaviorSanitizer; the whole suite and the
# package on 32-bit x86, and the suite and the package for 64-bit and 32-bit
# ARM (arm64, armhf) under qemu's user-mode emulation (scripts/check-arch.sh,
# here or in a clean chroot); clang-tidy and cppcheck; the Debian packages
# (built, checked with lintian, unpacked and run, and built again to
# compare); the same packages built and checked on the other supported
# Debian release in a chroot of its own; the example deployment booted
# under systemd in virtual machines of both releases; wdog as a container's
# entry point under podman, beside a root wdog of the same name on the host; and the fuzzer for
# WDOG_FUZZ_SECONDS (default 60). Each stage's output goes to
# build-ci/logs/STAGE.log; at the end a table gives each stage's result and
# its wall and CPU time, and the end of each failed stage's log follows.
set -euo pipefail
cd "$(dirname "$0")/.."

ci=$PWD/build-ci
rm -rf "$ci"
mkdir -p "$ci"
export STAGE_DIR=$ci/logs
# The tests that measure the machine take this lock, in every build and
# chroot, so that no two of them run at once.
export WDOG_ALONE_LOCK=$ci/alone.lock
. scripts/steps.sh
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

here=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
setup() {
  WDOG_INSTALLED="" sh scripts/install-deps.sh --all
}
# The other Debian release that is supported, checked from this one in a
# clean chroot of its own: stable checks oldstable, oldstable checks stable.
other_release() {
  local stable oldstable
  stable=$(distro-info --stable)
  oldstable=$(distro-info --oldstable)
  case $here in
    "$stable") echo "$oldstable" ;;
    "$oldstable") echo "$stable" ;;
    *) echo "this machine runs '$here', neither stable ($stable) nor oldstable ($oldstable)" >&2; return 1 ;;
  esac
}

# Configures and builds into $1 with the options that follow. Every option
# the stage relies on is given, since a directory configured before keeps
# its cached values.
build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWDOG_WERROR=ON -DBUILD_TESTING=ON \
    -DWDOG_SANITIZE=OFF -DWDOG_FUZZ=OFF "$@" > /dev/null
  cmake --build "$dir" -j "$(nproc)"
}

# Runs the whole suite built in $1; finding no test fails. Most of its
# time is real time waited through, so it runs more tests than cores.
suite() {
  local dir=$1 status=0
  ctest --test-dir "$dir" --output-on-failure --no-tests=error -j "$(($(nproc) * 3))" --timeout 300 ||
    status=$?
  # ctest shows no output for a skipped test: print each reason.
  grep -h -B1 -A1 -e ': Skipped$' -e '^skipped: ' "$dir/Testing/Temporary/LastTest.log" || true
  return "$status"
}

sanitized() {
  build build-sanitize -DWDOG_SANITIZE=ON
  suite build-sanitize
}

# Runs a check as root, with what the stages share.
as_root() {
  $sudo env WDOG_INSTALLED=1 WDOG_ALONE_LOCK="$WDOG_ALONE_LOCK" "$@"
}

# A watchdog of the name "wdog" beside every check, as on a machine where
# one is deployed: nothing the checks start may take its lock or end it or
# its program. Where one runs already, that one serves.
beside=$ci/beside
start_beside() {
  mkdir -p "$beside"
  ln -sfn "$PWD/build/app/wdog" "$beside/wdog"
  printf '#!/bin/sh\nwhile :; do touch "%s/ctl"; sleep 2; done\n' "$beside" > "$beside/wdog-beside"
  chmod 755 "$beside/wdog-beside"
  # It leads a process group of its own (the background job of a shell
  # without job control leads none, so setsid does not fork).
  (cd "$beside" && exec setsid ./wdog "$beside/wdog-beside" "$beside/ctl" wdog-beside \
    < /dev/null > "$beside/stderr" 2>&1) &
  echo $! > "$beside/pid"
  local i
  for i in $(seq 100); do
    pgrep -g "$(cat "$beside/pid")" -x wdog-beside > /dev/null && break
    kill -0 "$(cat "$beside/pid")" 2> /dev/null || break
    sleep 0.5
  done
  if ! kill -0 "$(cat "$beside/pid")" 2> /dev/null; then
    echo "a wdog of this name and user runs here already: the checks run beside it"
    pgrep -a -x wdog || true
    rm "$beside/pid"
    return 0
  fi
  pgrep -g "$(cat "$beside/pid")" -x wdog-beside > /dev/null ||
    { echo "the wdog beside the checks started no program within 50 s" >&2; return 1; }
  echo "wdog (pid $(cat "$beside/pid")) supervises wdog-beside beside the checks"
}
# Fails unless the watchdog beside the checks and its program still run;
# ends both.
end_beside() {
  [ -f "$beside/pid" ] || return 0
  local pid status=0
  pid=$(cat "$beside/pid")
  if ! kill -0 "$pid" 2> /dev/null || ! pgrep -g "$pid" -x wdog-beside > /dev/null; then
    echo "the wdog beside the checks, or its program, was ended" >&2
    status=1
  else
    echo "the wdog beside the checks (pid $pid) and its program ran on to the end"
  fi
  # Ended by "die", it removes its lock; its program is ended with the group.
  echo die > "$beside/ctl"
  local i
  for i in $(seq 50); do
    kill -0 "$pid" 2> /dev/null || break
    sleep 0.1
  done
  kill -KILL -- "-$pid" 2> /dev/null || true
  rm -f "$beside/pid"
  return "$status"
}
trap end_beside EXIT
trap 'exit 130' INT TERM

# release PART: the other release's linters, or its packages.
release() {
  as_root WDOG_OUT="$ci/release-$1" bash scripts/check-release.sh "--$1" "$(other_release)"
}

# boot CODENAME ARCH FOLDER...: boots the release's amd64 and i386 packages
# (with ARCH, that machine alone), from the folders of the stages that made
# them.
boot() {
  local codename=$1 only=$2 version dir debs
  shift 2
  version=$(bash scripts/source-package.sh --version "$codename")
  debs=$ci/boot-$codename/debs${only:+-$only}
  mkdir -p "$debs"
  for dir in "$@"; do
    cp "$dir"/wdog_"${version}"_*.deb "$debs/"
  done
  as_root WDOG_OUT="$ci/boot-$codename" WDOG_DEBS="$debs" bash scripts/check-boot.sh "$codename" ${only:+"$only"}
}
# The release stage hands its packages over before its longest checks
# (autopkgtest, piuparts): the other release's machine boots meanwhile.
boot_other() {
  local ready=$ci/release-packages/packages-ready
  until [ -e "$ready/done" ]; do
    [ ! -e "$STAGE_DIR/release.status" ] ||
      { echo "the release stage ended without its packages: $(cat "$STAGE_DIR/release.status")"; return 1; }
    sleep 5
  done
  boot "$(other_release)" "" "$ready"
}

# Set-up first, alone: no stage installs anything.
export WDOG_INSTALLED=1
export STAGE_SLOTS=${STAGE_SLOTS:-6}
stage set-up -- setup
# The stages that take longest, and those that others wait for, first.
stage release set-up -- release packages
stage packages set-up -- env WDOG_OUT="$ci/packages" bash scripts/check-package.sh --native
stage i386 set-up -- as_root WDOG_OUT="$ci/i386" bash scripts/check-arch.sh --slow i386
stage build set-up -- build build
stage --no-slot beside build -- start_beside
stage --no-slot suite beside -- suite build
stage --no-slot demo beside -- bash scripts/demo.sh
stage --no-slot container packages -- \
  as_root WDOG_OUT="$ci/container" WDOG_DEBS="$ci/packages" bash scripts/check-container.sh
# Where this release has a 32-bit kernel, its i386 package boots in a
# machine of its own, as soon as it is made.
if [ "$(. /etc/os-release && echo "${VERSION_ID:-99}" | cut -d. -f1)" -lt 13 ]; then
  stage boot-here packages -- boot "$here" amd64 "$ci/packages"
  stage boot-here-i386 i386 -- boot "$here" i386 "$ci/i386"
else
  stage boot-here packages i386 -- boot "$here" "" "$ci/packages" "$ci/i386"
fi
stage --no-slot boot-other set-up -- boot_other
stage sanitize set-up -- sanitized
stage arm64 set-up -- as_root WDOG_OUT="$ci/arm64" bash scripts/check-arch.sh arm64
stage armhf set-up -- as_root WDOG_OUT="$ci/armhf" bash scripts/check-arch.sh armhf
# Nothing waits for the linters and the fuzzer: they come last. Niced from
# the start instead, they got too little of the machine and became the run's
# tail.
stage lint build -- bash scripts/lint.sh build
stage release-lint set-up -- release lint
stage fuzz set-up -- bash scripts/fuzz.sh "${WDOG_FUZZ_SECONDS:-60}"
status=0
stages_wait || status=$?
end_beside || status=1
[ ! -f "$ci/container/left-out" ] || echo "left out: $(cat "$ci/container/left-out")"
[ "$status" -eq 0 ] || exit "$status"
echo "== all checks passed"
