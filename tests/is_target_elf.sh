#!/bin/sh
# Exits 0 when FILE is an ELF file of the architecture that was built, judged
# by its header, not by file's wording (which changes between releases):
# the magic, then the class (1: 32-bit, 2: 64-bit), the byte order (1:
# little-endian, 2: big-endian) and the machine (e_machine, in the file's
# byte order).
# Usage: is_target_elf.sh CLASS ORDER MACHINE FILE
set -eu
class=$1 order=$2 machine=$3
# shellcheck disable=SC2046
set -- $(od -An -tu1 -N20 "$4")
echo "ELF header: $*"
[ "$#" -eq 20 ] && [ "$1 $2 $3 $4 $5 $6" = "127 69 76 70 $class $order" ] || exit 1
if [ "$order" = 1 ]; then
  [ $((${19} + ${20} * 256)) -eq "$machine" ]
else
  [ $((${19} * 256 + ${20})) -eq "$machine" ]
fi
