#!/bin/sh
# Exits 0 when $1 is a 32-bit x86 ELF file, judged by its header, not by
# file's wording (which changes between releases): the magic, class 1
# (32-bit), data 1 (little-endian), and machine 3 (i386).
set -eu
# shellcheck disable=SC2046
set -- $(od -An -tu1 -N20 "$1")
echo "ELF header: $*"
[ "$#" -eq 20 ] && [ "$1 $2 $3 $4 $5 $6" = "127 69 76 70 1 1" ] && [ "${19} ${20}" = "3 0" ]
