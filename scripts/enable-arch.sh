#!/bin/sh
# Makes sure this machine runs programs of the Debian architecture ARCH
# (i386, arm64, armhf, s390x, ...): natively when the kernel can, otherwise
# through qemu's user-mode emulator, registered with binfmt_misc for that
# architecture's ELF files (which needs root), with the magic and mask of
# qemu-user-static's own /usr/lib/binfmt.d/qemu-NAME.conf. WDOG_EMULATE=1
# registers the emulator even where the kernel runs them natively, to try
# the suite under emulation; until a reboot, or
#   echo -1 > /proc/sys/fs/binfmt_misc/qemu-NAME
# every such program then runs under qemu.
# Usage: enable-arch.sh ARCH (install the architecture's C library first:
# scripts/install-deps.sh --i386, or scripts/check-arch.sh ARCH)
set -eu
arch=${1:-}
case $arch in
  i386) qemu=i386 ;;
  amd64) qemu=x86_64 ;;
  arm64) qemu=aarch64 ;;
  armhf | armel) qemu=arm ;;
  ppc64el) qemu=ppc64le ;;
  s390x | mips64el | riscv64) qemu=$arch ;;
  *) echo "usage: enable-arch.sh ARCH (i386, amd64, arm64, armhf, armel, ppc64el, s390x, mips64el, riscv64)" >&2; exit 2 ;;
esac

# The architecture's dynamic loader is itself one of its programs.
loader=$(dpkg -L "libc6:$arch" 2> /dev/null | grep -E '^/(usr/)?lib[^/]*/ld[^/]*\.so(\.[0-9]+)*$' | head -n 1) || true
runs() {
  "$loader" --version > /dev/null 2>&1
}
binfmt=/proc/sys/fs/binfmt_misc
registered() {
  grep -qsx enabled "$binfmt/qemu-$qemu"
}

if [ -z "$loader" ] || [ ! -x "$loader" ]; then
  echo "no $arch C library: install libc6:$arch first (scripts/check-arch.sh $arch)" >&2
  exit 1
fi
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
# Unmounted (a chroot, a container), the registrations are still in force
# but unseen, and an emulated run would pass for a native one. Only root
# mounts it here: a user where the kernel runs ARCH needs no sudo.
[ -e "$binfmt/register" ] || [ -n "$sudo" ] || mount -t binfmt_misc binfmt_misc "$binfmt" 2> /dev/null || true
if [ "${WDOG_EMULATE:-0}" != 1 ] && runs; then
  registered && how="under qemu (registered with binfmt_misc)" || how="natively"
  echo "$arch programs run $how"
  exit 0
fi

if [ ! -x "/usr/bin/qemu-$qemu-static" ]; then
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
  conf=/usr/lib/binfmt.d/qemu-$qemu.conf
  if [ -f "$conf" ]; then
    magic=$(cut -d: -f5 "$conf")
    mask=$(cut -d: -f6 "$conf")
  elif [ "$qemu" = i386 ]; then
    # Left out of the package where the kernel runs them itself.
    magic='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  else
    echo "qemu-user-static has no $conf" >&2
    exit 1
  fi
  # F opens the emulator now, so that it also serves programs in other
  # mount namespaces and chroots; P keeps argv[0] as the program gave it.
  [ ! -e "$binfmt/qemu-$qemu" ] || echo -1 | $sudo tee "$binfmt/qemu-$qemu" > /dev/null
  printf ':qemu-%s:M::%s:%s:/usr/bin/qemu-%s-static:FP\n' "$qemu" "$magic" "$mask" "$qemu" |
    $sudo tee "$binfmt/register" > /dev/null
fi
if ! runs; then
  echo "$arch programs cannot run here, not even under qemu" >&2
  exit 1
fi
echo "$arch programs run under qemu (registered with binfmt_misc)"
