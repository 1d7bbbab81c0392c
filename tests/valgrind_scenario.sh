#!/bin/sh
# Runs wdog under valgrind's memcheck through a start, a requested restart
# and a "die": any invalid access or definite or indirect leak fails.
# Usage: valgrind_scenario.sh WDOG
set -eu
wdog=$1
suppressions=$(dirname "$0")/valgrind.supp

# A 32-bit binary that binfmt_misc hands to qemu cannot run under valgrind.
if [ "$(od -An -tx1 -j4 -N1 "$wdog" | tr -d ' ')" = 01 ] &&
  grep -qsx enabled /proc/sys/fs/binfmt_misc/qemu-i386; then
  echo "skipped: 32-bit programs run under qemu's user-mode emulation here, which valgrind cannot run"
  exit 77
fi
dir=$(mktemp -d)
# valgrind itself must be able to run a program of this architecture:
# Debian 13's cannot start any 32-bit x86 program on some processors ("the
# 'impossible' happened" in the dynamic loader, before main). Refused for
# want of arguments, wdog exits 255 under valgrind as without it.
status=0
valgrind --quiet --log-file="$dir/probe.log" "$wdog" 2> /dev/null || status=$?
if [ "$status" -ne 255 ] && grep -q "the 'impossible' happened" "$dir/probe.log"; then
  echo "skipped: this valgrind cannot run this program's architecture here:" \
    "$(grep -m 1 'impossible' "$dir/probe.log")"
  rm -rf "$dir"
  exit 77
fi
name=vgprog$$
cleanup() {
  pkill -KILL -x "$name" 2>/dev/null || true
  [ -z "${vg:-}" ] || kill -KILL "$vg" 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT

# The watched program leaves by itself when asked to restart.
cat > "$dir/$name" <<SCRIPT
#!/bin/sh
while :; do
  read -r line < "$dir/ctl" || line=
  [ "\$line" = restart ] && exit 0
  sleep 0.2
done
SCRIPT
chmod +x "$dir/$name"

# Waits up to $2 seconds for a process named $name other than $1; prints its pid.
wait_for_program() {
  i=0
  while [ "$i" -lt $(($2 * 10)) ]; do
    for pid in $(pgrep -x "$name" || true); do
      [ "$pid" != "$1" ] && { echo "$pid"; return 0; }
    done
    sleep 0.1
    i=$((i + 1))
  done
  echo "no $name started within $2 s" >&2
  return 1
}

echo restart > "$dir/ctl" # not running: started at the first pass
valgrind --quiet --leak-check=full --show-leak-kinds=definite,indirect \
  --errors-for-leak-kinds=definite,indirect --error-exitcode=99 \
  --suppressions="$suppressions" --log-file="$dir/valgrind.log" \
  "$wdog" "$dir/$name" "$dir/ctl" "$name" &
vg=$!

first=$(wait_for_program none 30)
echo restart > "$dir/ctl"
second=$(wait_for_program "$first" 30)
echo die > "$dir/ctl"
status=0
wait "$vg" || status=$?
vg=
cat "$dir/valgrind.log"
echo "started $first, restarted as $second; wdog under valgrind ended with status $status"
[ "$status" -eq 0 ]
