#!/bin/bash
# Builds both Debian packages and checks them: the version is the
# changelog's everywhere; the build ran the fast part of the suite; lintian
# finds no error and no warning in the packages, their debug symbols,
# .changes or .buildinfo; each unpacked wdog refuses to run without
# arguments, then launches a program and ends with status 0 on "die"; the
# manual page renders without a warning; and this machine's package, built
# again with nocheck, is byte for byte the first.
set -euo pipefail
cd "$(dirname "$0")/.."

list=$(bash scripts/package.sh)
mapfile -t debs <<< "$list"
upstream=$(dpkg-parsechangelog -S Version)
upstream=${upstream%-*}
if ! grep -q "^project(wdog VERSION $upstream " CMakeLists.txt ||
    ! grep -q "^\.TH WDOG 1 .* \"wdog $upstream\"" docs/wdog.1; then
  echo "debian/changelog says $upstream: CMakeLists.txt and docs/wdog.1 must say so too" >&2
  exit 1
fi
log=build-package/build-$(dpkg --print-architecture).log
grep -q -x '100% tests passed, 0 tests failed out of [0-9]*' "$log" ||
  { echo "the package's build ran no test" >&2; exit 1; }

lintian --allow-root --fail-on error,warning build-package/*.changes
echo "lintian: no error, no warning"

work=$(mktemp -d)
name=pkgprog$$
wdog_pid=
cleanup() {
  [ -z "$wdog_pid" ] || kill -KILL "$wdog_pid" 2> /dev/null || true
  pkill -KILL -x "$name" 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

cat > "$work/$name" << 'SCRIPT'
#!/bin/sh
while :; do sleep 1; done
SCRIPT
chmod +x "$work/$name"

# Waits up to 30 s for the named program; fails if it never shows.
wait_for_program() {
  local i
  for i in $(seq 300); do
    pgrep -x "$name" > /dev/null && return 0
    sleep 0.1
  done
  echo "wdog did not launch $name" >&2
  return 1
}

# Waits up to 30 s for wdog to end; fails if it does not, or not with 0.
wait_for_wdog() {
  local i status=0
  for i in $(seq 300); do
    kill -0 "$wdog_pid" 2> /dev/null || break
    sleep 0.1
  done
  wait "$wdog_pid" || status=$?
  wdog_pid=
  [ "$status" -eq 0 ] || { echo "wdog ended with status $status" >&2; return 1; }
}

for deb in "${debs[@]}"; do
  root=$work/root
  rm -rf "$root"
  dpkg-deb -x "$deb" "$root"
  wdog=$root/usr/bin/wdog
  file -L "$wdog"
  sh tests/wide_time_symbols.sh "$wdog"

  status=0
  "$wdog" 2> "$work/refusal" || status=$?
  if [ "$status" -ne 255 ] || ! grep -qx "Error: $wdog should not be run directly." "$work/refusal"; then
    echo "$deb: wdog without arguments: status $status, $(cat "$work/refusal")" >&2
    exit 1
  fi

  # Under a name of its own, so that no other wdog of this user holds the
  # lock. "restart" before the start launches the program at the first pass.
  ln -sf "$wdog" "$work/wdog-check"
  echo restart > "$work/ctl"
  "$work/wdog-check" "$work/$name" "$work/ctl" "$name" &
  wdog_pid=$!
  wait_for_program
  echo die > "$work/ctl"
  wait_for_wdog
  pkill -KILL -x "$name"

  warnings=$(zcat "$root/usr/share/man/man1/wdog.1.gz" | groff -t -man -ww -Tutf8 2>&1 > /dev/null)
  [ -z "$warnings" ] || { echo "$warnings"; exit 1; }
  echo "$deb: refuses without arguments, launched $name, ended with 0 on die"
done

# Reproducible, and the same without its tests: this machine's package,
# built once more from the same tree with nocheck.
first=$work/first.deb
cp "${debs[0]}" "$first"
DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:-} nocheck" bash scripts/package.sh > /dev/null
! grep -q 'tests passed' "$log" || { echo "nocheck ran the tests" >&2; exit 1; }
cmp "$first" "${debs[0]}"
echo "${debs[0]##*/}: built again with nocheck, byte for byte the same"
