#!/bin/sh
# Runs wdog under valgrind's memcheck through a start, a requested restart
# and a "die": any invalid access or definite or indirect leak fails.
# Usage: valgrind_scenario.sh WDOG
set -eu
wdog=$1
suppressions=$(dirname "$0")/valgrind.supp

dir=$(mktemp -d)
# valgrind itself must be able to run a program of this architecture: it
# cannot run one that binfmt_misc hands to qemu (another architecture's,
# or 32-bit x86 where it is emulated), and Debian 13's cannot start any
# 32-bit x86 program on some processors ("the 'impossible' happened" in the
# dynamic loader, before main). Refused for want of arguments, wdog exits
# 255 under valgrind as without it; when only valgrind makes it fail,
# valgrind is what cannot run here.
if ! command -v valgrind > /dev/null; then
  echo "skipped: valgrind is not installed"
  exit 77
fi
status=0
valgrind --quiet --log-file="$dir/probe.log" "$wdog" > "$dir/probe.out" 2>&1 || status=$?
if [ "$status" -ne 255 ] && { "$wdog" > /dev/null 2>&1 || [ $? -eq 255 ]; }; then
  why=$(grep -m 1 -v '^ *$' "$dir/probe.log" "$dir/probe.out" 2> /dev/null | head -n 1 | cut -d: -f2-)
  echo "skipped: this valgrind cannot run this program's architecture here (status $status):$why"
  rm -rf "$dir"
  exit 77
fi
# Names of their own, so that neither the lock nor the program is anyone
# else's: the pid and a random part (a container may repeat the pid).
tag=$$$(($(od -An -N1 -tu1 /dev/urandom) % 100))
name=vg$tag
ln -s "$(realpath "$wdog")" "$dir/wdvg$tag"
# valgrind and what wdog starts are a process group of their own, ended
# together: nothing else is killed.
cleanup() {
  [ -z "${group:-}" ] || kill -KILL "-$group" 2>/dev/null || true
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
setsid valgrind --quiet --leak-check=full --show-leak-kinds=definite,indirect \
  --errors-for-leak-kinds=definite,indirect --error-exitcode=99 \
  --suppressions="$suppressions" --log-file="$dir/valgrind.log" \
  "$dir/wdvg$tag" "$dir/$name" "$dir/ctl" "$name" &
vg=$!
# A background job of a shell without job control leads no group, so setsid
# did not fork: $! leads the new one.
group=$vg


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
