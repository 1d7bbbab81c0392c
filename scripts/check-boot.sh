#!/bin/bash
# Boots the manual's deployment in a virtual machine of a Debian release
# (CODENAME: bookworm, trixie, ...) with systemd as PID 1, and checks that
# it keeps the server alive: the release's wdog package from build-package/
# installed by apt, a system user app, /opt/app/run-server
# (examples/run-server), a server that beats, examples/app.service enabled.
# At boot a unit ordered after app.service runs scripts/boot-scenario.sh,
# which kills, hangs, stops, starts and reboots, and writes what it saw
# into the image; the machine powers off, and its results are read from the
# image and judged here.
#
# amd64 runs the whole scenario; the i386 package runs boot, crash and hang:
# in an i386 machine with Debian's 32-bit kernel where the release has one
# (Debian 12), otherwise installed through multiarch in the amd64 machine
# after its run. With ARCH arm64 (check-boot.sh CODENAME arm64, which
# scripts/check-arch.sh --boot arm64 runs), only the arm64 package runs
# boot, crash and hang, in an arm64 machine with Debian's arm64 kernel on
# qemu's "virt" board; its image is made under qemu's user-mode emulator,
# which takes about 20 minutes. On a release with a 32-bit kernel, ARCH
# amd64 or i386 boots that machine alone, so that each can start as soon as
# its package is there. Each machine is made with mmdebstrap from the archive apt
# uses, booted with qemu's software emulation (WDOG_BOOT_KVM=1 uses KVM
# instead, where it boots a stock kernel), and given a hard time limit.
#
# Needs root and the packages that scripts/check-package.sh and
# scripts/check-release.sh leave in build-package/ (WDOG_DEBS names another
# folder to take them from, WDOG_OUT another one for the results).
set -euo pipefail
cd "$(dirname "$0")/.."

codename=${1:-}
only=${2:-}
[ -n "$codename" ] && [[ $only =~ ^(arm64|amd64|i386)?$ ]] ||
  { echo "usage: check-boot.sh CODENAME [arm64 | amd64 | i386]" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "check-boot.sh makes virtual machines: run it as root" >&2; exit 1; }

if [ "$only" = arm64 ]; then sh scripts/install-deps.sh --boot-arm64; else sh scripts/install-deps.sh --boot; fi
# Debian 13 has no 32-bit x86 kernel: there the i386 package runs in the
# amd64 machine, through multiarch.
number=$(distro-info --series="$codename" --release)
kernel32=""
[[ $number =~ ^[0-9]+$ ]] && [ "$number" -lt 13 ] && kernel32=yes
[[ ! $only =~ ^(amd64|i386)$ ]] || [ -n "$kernel32" ] ||
  { echo "$codename has no 32-bit kernel: its i386 package runs in the amd64 machine (check-boot.sh $codename)" >&2; exit 2; }
mirror=$(bash scripts/archive-mirror.sh)

out=${WDOG_OUT:-$PWD/build-package}
mkdir -p "$out"
from=${WDOG_DEBS:-$out}
version=$(bash scripts/source-package.sh --version "$codename")
deb_amd64=$from/wdog_${version}_amd64.deb
deb_i386=$from/wdog_${version}_i386.deb
deb_arm64=$from/wdog_${version}_arm64.deb
debs=("$deb_amd64" "$deb_i386")
[ -z "$only" ] || debs=("$from/wdog_${version}_$only.deb")
for deb in "${debs[@]}"; do
  [ -f "$deb" ] || { echo "no package $deb: check-package.sh, check-release.sh and check-arch.sh make them" >&2; exit 1; }
done
accel=tcg
[ "${WDOG_BOOT_KVM:-}" = 1 ] && accel=kvm

work=$(mktemp -d /var/tmp/wdog-boot-"$codename".XXXXXX)
trap 'rm -rf --one-file-system "$work"' EXIT

# The server of the deployment: it beats every two seconds. The template's
# two programs beat in the file the unit names.
server=$work/server
printf '#!/bin/sh\nwhile :; do touch /run/app/heartbeat; sleep 2; done\n' > "$server"
printf '#!/bin/sh\nwhile :; do touch "$HEARTBEAT_FILE"; sleep 2; done\n' > "$work/beater"
chmod 755 "$server" "$work/beater"

# A unit that shares the lock of the template's instance web: each start is
# refused, and must end inactive.
cat > "$work/refused.service" << 'EOF'
[Unit]
Description=a start that wdog@web's lock refuses

[Service]
Type=notify
NotifyAccess=main
User=web
Restart=on-failure
ExecStart=@/usr/bin/wdog wdog-web /opt/web/websrv /run/wdog/web/heartbeat websrv
EOF

# The unit that runs the scenario at boot: after app.service, and wanted by
# multi-user.target (ordered after it as well, it would make a cycle).
cat > "$work/boot-check.service" << 'EOF'
[Unit]
Description=wdog's boot check
After=app.service

[Service]
Type=simple
ExecStart=/usr/local/sbin/boot-scenario
StandardOutput=journal+console

[Install]
WantedBy=multi-user.target
EOF

# machine ARCH KERNEL-PACKAGE STEPS PACKAGE [I386-PACKAGE]: makes the
# machine's image, $work/ARCH.img, with PACKAGE installed. Both packages stay
# in /opt/boot-check, where the scenario takes the i386 one from.
machine() {
  local arch=$1 kernel=$2 steps=$3 root=$work/$1 log=$out/boot-$codename-$1.log
  shift 3
  local archs=$arch hook
  [[ $steps == *i* ]] && archs=$arch,i386
  # The packages by apt, with what they depend on; any i386 one is installed
  # first, for its libraries, and removed again.
  hook="chroot \"\$1\" apt-get install -y -q --no-install-recommends"
  local installs=()
  if [ $# -gt 1 ]; then
    installs+=(--customize-hook="$hook /opt/boot-check/${2##*/}"
      --customize-hook='chroot "$1" dpkg --remove wdog')
  fi
  installs+=(--customize-hook="$hook /opt/boot-check/${1##*/}")
  echo "making a $codename $arch machine"
  # The machine boots from a virtio disk with ext4 and needs no other module
  # early: an initramfs of those alone is made in a fraction of the time,
  # which counts where the kernel cannot run ARCH and mkinitramfs runs
  # under the user-mode emulator. Written before the kernel is installed,
  # beside the package's own files (ext4's checksum module comes with it).
  if ! mmdebstrap --variant=apt --architectures="$archs" \
      --aptopt='Acquire::Check-Valid-Until "false"' \
      --essential-hook='mkdir -p "$1/etc/initramfs-tools/conf.d" "$1/usr/share/initramfs-tools/modules.d"' \
      --essential-hook='echo MODULES=list > "$1/etc/initramfs-tools/conf.d/boot-check"' \
      --essential-hook='printf "%s\n" virtio_pci virtio_blk ext4 > "$1/usr/share/initramfs-tools/modules.d/boot-check"' \
      --include="$kernel,systemd-sysv,udev,procps,passwd,adduser" \
      --customize-hook='mkdir -p "$1/opt/boot-check" "$1/opt/app" "$1/etc/boot-check"' \
      --customize-hook="copy-in $* /opt/boot-check" \
      "${installs[@]}" \
      --customize-hook='chroot "$1" useradd --system --no-create-home --shell /usr/sbin/nologin app' \
      "$codename" "$root" "deb $mirror $codename main" > "$log" 2>&1; then
    tail -n 50 "$log" >&2
    echo "could not make the $codename $arch machine" >&2
    exit 1
  fi
  # The deployment, as the manual's "At boot" section gives it.
  install -m 755 examples/run-server "$root/opt/app/run-server"
  install -m 755 "$server" "$root/opt/app/server"
  install -m 644 examples/app.service "$root/etc/systemd/system/app.service"
  install -D -m 755 "$work/beater" "$root/opt/web/websrv"
  install -D -m 755 "$work/beater" "$root/opt/db/dbsrv"
  install -m 644 "$work/refused.service" "$root/etc/systemd/system/"
  install -m 755 scripts/boot-scenario.sh "$root/usr/local/sbin/boot-scenario"
  install -m 644 "$work/boot-check.service" "$root/etc/systemd/system/"
  echo "$steps" > "$root/etc/boot-check/steps"
  # The machine's own systemctl: the host may have none (a chroot, a container).
  chroot "$root" systemctl enable app.service boot-check.service > /dev/null 2>&1 ||
    { echo "could not enable the units in the $codename $arch machine" >&2; exit 1; }
  echo wdog-boot > "$root/etc/hostname"

  cp "$root"/boot/vmlinuz-* "$work/$arch.kernel"
  cp "$root"/boot/initrd.img-* "$work/$arch.initrd"
  local size
  size=$(du -sm --one-file-system "$root" | cut -f1)
  mke2fs -q -t ext4 -d "$root" "$work/$arch.img" "$((size + 512))M" > /dev/null
  rm -rf --one-file-system "$root"
}

# boot ARCH QEMU LIMIT: boots the machine until it powers off, at most LIMIT
# seconds, and reads its results out of the image.
boot() {
  local arch=$1 qemu=$2 limit=$3 log=$out/boot-$codename-$1-console.log start=$SECONDS
  local board=() console=ttyS0
  if [ "$arch" = arm64 ]; then
    board=(-M virt -cpu max)
    console=ttyAMA0
  fi
  echo "booting the $codename $arch machine (at most $limit s)"
  if ! timeout "$limit" "$qemu" "${board[@]}" -accel "$accel" -m 1024 -smp 2 -nographic -nic none \
      -kernel "$work/$arch.kernel" -initrd "$work/$arch.initrd" \
      -append "root=/dev/vda rw console=$console quiet" \
      -drive "file=$work/$arch.img,format=raw,if=virtio" < /dev/null > "$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "the $codename $arch machine did not power off within $limit s (console: $log)" >&2
    exit 1
  fi
  echo "the $codename $arch machine ran for $((SECONDS - start)) s"
  debugfs -R "cat /var/lib/boot-check/result" "$work/$arch.img" 2> /dev/null > "$work/$arch.result"
  cp "$work/$arch.result" "$out/boot-$codename-$arch.result"
}

failed=0
# expect ARCH KEY TEST VALUE: judges one result, TEST being eq, le or ge.
expect() {
  local file=$work/$1.result key=$2 test=$3 want=$4 got ok=no
  got=$(awk -v key="$key" '$1 == key { print $2 }' "$file")
  case $test in
    eq) [ "$got" = "$want" ] && ok=yes ;;
    le) [[ $got =~ ^[0-9]+$ ]] && [ "$got" -le "$want" ] && ok=yes ;;
    ge) [[ $got =~ ^[0-9]+$ ]] && [ "$got" -ge "$want" ] && ok=yes ;;
  esac
  printf '  %-28s %-10s %s\n' "$key" "${got:-(none)}" "$([ $ok = yes ] && echo ok || echo "FAILED: want $test $want")"
  [ $ok = yes ] || failed=1
}

# show ARCH KEY: a result that is only told, not judged.
show() {
  printf '  %-28s %s\n' "$2" "$(awk -v key="$2" '$1 == key { print $2 }' "$work/$1.result")"
}

# judge_abc FILE ARCH ELF-CLASS: boot, crash, hang.
judge_abc() {
  local file=$1 p=$2
  show "$file" "$p.a.boot"
  show "$file" "$p.a.uptime"
  expect "$file" "$p.a.server_seconds" le 60
  expect "$file" "$p.a.active" eq active
  expect "$file" "$p.a.server_user" eq app
  expect "$file" "$p.a.wdog_user" eq app
  expect "$file" "$p.a.wdog_parent" eq 1
  expect "$file" "$p.a.wdog_elf_class" eq "$3"
  expect "$file" "$p.b.seconds" le 30
  expect "$file" "$p.b.new_starts" ge 1
  expect "$file" "$p.c.seconds" le 90
}

# The template's two instances, a refused start and a refused name.
judge_t() {
  local i
  show amd64 t.a.deploy_seconds
  expect amd64 t.a.server_seconds le 60
  for i in web db; do
    expect amd64 "t.a.$i.active" eq active
    expect amd64 "t.a.$i.wdog_argv0" eq "wdog-$i"
    expect amd64 "t.a.$i.wdog_user" eq web
    expect amd64 "t.a.$i.server_user" eq web
  done
  expect amd64 t.a.nonewprivs eq 0
  expect amd64 t.a.nosuid eq 0
  expect amd64 t.a.same_shm eq 1
  expect amd64 t.b.seconds le 30
  expect amd64 t.c.seconds le 90
  expect amd64 t.r.inactive eq 10
  expect amd64 t.r.result eq success
  expect amd64 t.r.restarts eq 0
  expect amd64 t.r.says_why eq 10
  expect amd64 t.r.web_stays eq 1
  expect amd64 t.d.dot_refused ge 1
  expect amd64 t.d.dot_state eq inactive
  expect amd64 t.d.dot_restarts eq 0
  expect amd64 t.e.stop_seconds le 10
  expect amd64 t.e.web.result eq success
  expect amd64 t.e.db.result eq success
  expect amd64 t.e.left eq 0
  expect amd64 t.f.server_seconds le 60
  expect amd64 t.f.active eq active
}

judge_def() {
  expect amd64 amd64.d.seconds le 180
  expect amd64 amd64.d.active eq active
  expect amd64 amd64.g.seconds le 90
  expect amd64 amd64.g.active eq active
  expect amd64 amd64.g.status_names_restart eq 1
  expect amd64 amd64.e.stop_seconds le 150
  expect amd64 amd64.e.state eq inactive
  expect amd64 amd64.e.left eq 0
  expect amd64 amd64.e.state_later eq inactive
  expect amd64 amd64.e.left_later eq 0
  expect amd64 amd64.e.start_seconds le 60
  show amd64 amd64.f.boot
  expect amd64 amd64.f.server_seconds le 60
  expect amd64 amd64.f.active eq active
}

start=$SECONDS
if [ "$only" = arm64 ]; then
  machine arm64 linux-image-arm64 abc "$deb_arm64"
  boot arm64 qemu-system-aarch64 900
  echo "== $codename arm64, Debian's arm64 kernel on qemu's virt board"
  judge_abc arm64 arm64 02
  expect arm64 done eq 1
elif [ -n "$kernel32" ]; then
  if [ "$only" != i386 ]; then
    machine amd64 linux-image-amd64 abctdef "$deb_amd64"
    boot amd64 qemu-system-x86_64 1500
    echo "== $codename amd64"
    judge_abc amd64 amd64 02
    judge_t
    judge_def
    expect amd64 done eq 1
  fi
  if [ "$only" != amd64 ]; then
    machine i386 linux-image-686-pae abc "$deb_i386"
    boot i386 qemu-system-i386 600
    echo "== $codename i386, a 32-bit kernel"
    judge_abc i386 i386 01
    expect i386 done eq 1
  fi
else
  machine amd64 linux-image-amd64 abctdefi "$deb_amd64" "$deb_i386"
  boot amd64 qemu-system-x86_64 1800
  echo "== $codename amd64"
  judge_abc amd64 amd64 02
  judge_t
  judge_def
  echo "== $codename i386, through multiarch on the 64-bit kernel"
  expect amd64 i386.installed eq i386
  judge_abc amd64 i386 01
  expect amd64 done eq 1
fi
[ "$failed" -eq 0 ] || { echo "the $codename boot check failed" >&2; exit 1; }
echo "== $codename: the deployment passed under systemd, in $((SECONDS - start)) s"
