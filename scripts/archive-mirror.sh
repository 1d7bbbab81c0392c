#!/bin/bash
# Prints the archive that apt uses for this machine's release, from which
# check-release.sh and check-boot.sh make their chroots and machines.
set -euo pipefail
here=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
mirror=$(apt-get indextargets --format '$(REPO_URI)' "Codename: $here" 'Component: main' \
  'Created-By: Packages' | head -n 1)
[ -n "$mirror" ] || { echo "apt here uses no archive of $here" >&2; exit 1; }
echo "$mirror"
