#!/bin/bash
# Builds the Debian package, unpacks it into a scratch root and checks it:
# the executable and the compressed manual page are where they belong, the
# unpacked wdog runs, the manual page renders without a warning, and lintian
# reports no error.
set -euo pipefail
cd "$(dirname "$0")/.."

deb=$(bash scripts/package.sh | tail -n 1)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

test -x "$root/usr/bin/wdog"
test -f "$root/usr/share/man/man1/wdog.1.gz"
status=0
"$root/usr/bin/wdog" 2> "$root/refusal" || status=$?
[ "$status" -eq 255 ] && grep -q 'should not be run directly' "$root/refusal"

warnings=$(zcat "$root/usr/share/man/man1/wdog.1.gz" | groff -t -man -ww -Tutf8 2>&1 > /dev/null)
[ -z "$warnings" ] || { echo "$warnings"; exit 1; }

lintian --allow-root "$deb"
echo "$deb: installs usr/bin/wdog and usr/share/man/man1/wdog.1.gz; lintian reports no error"
