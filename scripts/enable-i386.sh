#!/bin/sh
# Makes sure this machine runs 32-bit x86 programs: natively when the kernel
# can, otherwise through qemu's user-mode emulator, registered with
# binfmt_misc for i386 ELF files (which needs root). WDOG_I386_EMULATE=1
# registers the emulator even where the kernel runs them natively, to try
# the suite under emulation; until a reboot, or
#   echo -1 > /proc/sys/fs/binfmt_misc/qemu-i386
# every 32-bit x86 program then runs under qemu.
set -eu

# The i386 dynamic loader is itself a 32-bit x86 program.
loader=/lib/ld-linux.so.2
runs() {
  "$loader" --version > /dev/null 2>&1
}
binfmt=/proc/sys/fs/binfmt_misc
registered() {
  grep -qsx enabled "$binfmt/qemu-i386"
}

if [ ! -x "$loader" ]; then
  echo "no i386 C library: run sh scripts/install-deps.sh --i386 first" >&2
  exit 1
fi
if [ "${WDOG_I386_EMULATE:-0}" != 1 ] && runs; then
  registered && how="under qemu (registered with binfmt_misc)" || how="natively"
  echo "32-bit x86 programs run $how"
  exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ ! -x /usr/bin/qemu-i386-static ]; then
  echo "installing qemu-user-static"
  log=$(mktemp)
  if ! { $sudo apt-get update -q &&
      $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends qemu-user-static; } > "$log" 2>&1; then
    cat "$log" >&2
    exit 1
  fi
  rm -f "$log"
fi
[ -e "$binfmt/register" ] || $sudo mount -t binfmt_misc binfmt_misc "$binfmt"
if ! registered; then
  # Any i386 ELF executable or shared object. F opens the emulator now, so
  # that it also serves programs in other mount namespaces and chroots; P
  # keeps argv[0] as the program gave it.
  magic='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  [ ! -e "$binfmt/qemu-i386" ] || echo -1 | $sudo tee "$binfmt/qemu-i386" > /dev/null
  printf ':qemu-i386:M::%s:%s:/usr/bin/qemu-i386-static:FP\n' "$magic" "$mask" |
    $sudo tee "$binfmt/register" > /dev/null
fi
if ! runs; then
  echo "32-bit x86 programs cannot run here, not even under qemu" >&2
  exit 1
fi
echo "32-bit x86 programs run under qemu (registered with binfmt_misc)"
