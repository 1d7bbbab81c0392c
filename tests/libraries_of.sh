#!/bin/sh
# Prints the shared libraries that PROGRAM loads, as its own dynamic loader
# lists them (the loader named in its header, asked with --list): ldd knows
# only this machine's loaders, and a program of another architecture, run
# under emulation, has its own.
# Usage: libraries_of.sh PROGRAM
set -eu
loader=$(readelf -l "$1" | sed -n 's/.*Requesting program interpreter: \(.*\)]$/\1/p')
[ -n "$loader" ] || { echo "$1 names no dynamic loader" >&2; exit 1; }
exec "$loader" --list "$1"
