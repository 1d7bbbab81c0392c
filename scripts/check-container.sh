#!/bin/bash
# Runs wdog as a container's entry point, the way a user runs one, with
# Debian's podman (as root): the image of examples/Containerfile, built from
# this release's package on a base made by mmdebstrap (no registry). Then
# start, crash, hang, a stream of orphans, and stop, with each step's time;
# and beside the container, a root wdog on the host of the same name,
# watching a program of the same name: the host's program is supervised, the
# container's is left alone. The watchdogs and programs bear names of their
# own, never "wdog". The package comes from WDOG_DEBS, or is made first.
# Where no container can run at all, it says why, writes the reason to
# WDOG_OUT/left-out and passes.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/steps.sh

out=${WDOG_OUT:-$PWD/build-container}
rm -rf "$out"
mkdir -p "$out/context" "$out/host"
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
tag=$(printf '%x%02d' $$ $((RANDOM % 100)))
name=wdctr$tag   # the watchdogs, in and out of the container
prog=tick$tag    # their programs
base=localhost/wdog-base-$tag
image=localhost/wdog-ticker-$tag
container=wdog-check-$tag
# Whichever runtime works: on hosts whose cgroups are in hybrid mode crun
# cannot set the limits, runc can with these.
podman() { command podman --runtime "${WDOG_OCI_RUNTIME:-runc}" "$@"; }
run_options=(--ulimit nofile=20000:20000 --ulimit nproc=4096:4096)

cleanup() {
  echo die > "$out/host/ctl" 2> /dev/null || true
  [ ! -f "$out/host/pid" ] || kill -KILL -- "-$(cat "$out/host/pid")" 2> /dev/null || true
  podman rm -f -t 0 "$container" > /dev/null 2>&1 || true
  podman rmi -f "$image" "$base" > /dev/null 2>&1 || true
}
trap cleanup EXIT

left_out() {
  echo "the container check is left out: $*" | tee "$out/left-out"
  exit 0
}

# until SECONDS COMMAND...: runs the command every half second until it
# succeeds; fails after that many seconds.
until_true() {
  local limit=$1 start=$SECONDS
  shift
  until "$@"; do
    [ $((SECONDS - start)) -lt "$limit" ] || return 1
    sleep 0.5
  done
}
# The host's pid of the container's watchdog, and of its program.
watchdog_pid() { podman inspect -f '{{.State.Pid}}' "$container"; }
program_pid() {
  local child
  for child in $(cat "/proc/$(watchdog_pid)/task/$(watchdog_pid)/children" 2> /dev/null); do
    [ "$(cat "/proc/$child/comm" 2> /dev/null)" != "$prog" ] || { echo "$child"; return 0; }
  done
  return 1
}
program_other_than() { local pid; pid=$(program_pid) && [ "$pid" != "$1" ]; }
zombies() {
  local child count=0
  for child in $(cat "/proc/$(watchdog_pid)/task/$(watchdog_pid)/children" 2> /dev/null); do
    [ "$(sed 's/.*) //' "/proc/$child/stat" 2> /dev/null | cut -c1)" != Z ] || count=$((count + 1))
  done
  echo "$count"
}
# report STEP SINCE: the step's time.
report() { awk -v step="$1" -v a="$EPOCHREALTIME" -v b="$2" 'BEGIN { printf "%-58s %6.1f s\n", step, a - b }'; }

command -v podman > /dev/null || left_out "podman is not installed"
if ! podman info > "$out/podman-info.log" 2>&1; then
  left_out "podman cannot run here ($(tail -1 "$out/podman-info.log"))"
fi

echo "== the image"
debs=${WDOG_DEBS:-}
if [ -z "$debs" ]; then
  WDOG_OUT="$out/package" bash scripts/package.sh --native > "$out/package.log" 2>&1 ||
    { tail -20 "$out/package.log" >&2; exit 1; }
  debs=$out/package
fi
deb=$(ls "$debs"/wdog_*_"$(dpkg --print-architecture)".deb)
cp "$deb" examples/wdog-ticker "$out/context/"
step "base ($codename, mmdebstrap)" "$out/base.log" \
  bash -c "mmdebstrap --variant=apt $codename - | command podman import - $base"
if ! podman run --rm "${run_options[@]}" "$base" true > "$out/first-run.log" 2>&1; then
  left_out "no container can run here: $(tail -1 "$out/first-run.log")"
fi
step "image (examples/Containerfile)" "$out/build.log" \
  podman build --network host --from "$base" -t "$image" -f examples/Containerfile "$out/context"

echo "== the container: $name supervising $prog as its first process"
since=$EPOCHREALTIME
podman run -d "${run_options[@]}" --name "$container" --user root --entrypoint sh "$image" -c \
  "ln -s /usr/bin/wdog /tmp/$name && cp /usr/local/bin/wdog-ticker /tmp/$prog &&
   cd /tmp && exec /tmp/$name /tmp/$prog /tmp/ticker.ctl $prog" > /dev/null
until_true 60 program_pid > /dev/null || { echo "no program within 60 s" >&2; podman logs "$container" >&2; exit 1; }
report "start: the program runs" "$since"
first=$(program_pid)

since=$EPOCHREALTIME
kill -KILL "$first"
until_true 60 program_other_than "$first" || { echo "the crash was not repaired within 60 s" >&2; exit 1; }
report "crash (SIGKILL): a new program runs" "$since"
second=$(program_pid)

since=$EPOCHREALTIME
kill -STOP "$second"
until_true 120 program_other_than "$second" || { echo "the hang was not repaired within 120 s" >&2; exit 1; }
report "hang (SIGSTOP): a new program runs" "$since"

since=$EPOCHREALTIME
podman exec "$container" sh -c \
  'i=0; while [ $i -lt 120 ]; do sh -c "sleep 0.1 &"; sleep 0.25; i=$((i + 1)); done'
left=$(zombies)
report "30 s of orphans, 4 a second: $left unreaped after them" "$since"
[ "$left" -le 8 ] || { echo "the orphans piled up: $left zombies" >&2; exit 1; }

echo "== beside it on the host: a root $name watching a program named $prog"
inner=$(program_pid)
cp examples/wdog-ticker "$out/host/$prog"
dpkg-deb -x "$deb" "$out/host/root"
ln -s "$out/host/root/usr/bin/wdog" "$out/host/$name"
echo restart > "$out/host/ctl"
since=$EPOCHREALTIME
(cd "$out/host" && TICKER_CONTROL="$out/host/ctl" exec setsid "./$name" "$out/host/$prog" "$out/host/ctl" "$prog" \
  < /dev/null > "$out/host/stderr" 2>&1) &
echo $! > "$out/host/pid"
host_program() { pgrep -P "$(cat "$out/host/pid")" -x "$prog" > /dev/null; }
until_true 15 host_program || { echo "the host's watchdog launched nothing" >&2; cat "$out/host/stderr" >&2; exit 1; }
report "the host's program runs" "$since"
sleep 3
kill -0 "$(cat "$out/host/pid")" || { echo "the host's watchdog left" >&2; cat "$out/host/stderr" >&2; exit 1; }
[ "$(program_pid)" = "$inner" ] || { echo "the container's program was killed" >&2; exit 1; }
grep -q "pid $inner of the name $prog runs in another pid namespace" "$out/host/stderr" ||
  { echo "the host's watchdog did not say that it passed over pid $inner" >&2; cat "$out/host/stderr" >&2; exit 1; }
echo "both supervise: the host's $name (pid $(cat "$out/host/pid")), and the container's program (pid $inner) ran on"
echo die > "$out/host/ctl"
until_true 5 bash -c "! kill -0 $(cat "$out/host/pid") 2> /dev/null" || true
kill -KILL -- "-$(cat "$out/host/pid")" 2> /dev/null || true
rm -f "$out/host/pid"

since=$EPOCHREALTIME
podman stop "$container" > "$out/stop.log" 2>&1
report "stop (podman stop: SIGTERM ignored, SIGKILL after 10 s)" "$since"
echo "exit status $(podman inspect -f '{{.State.ExitCode}}' "$container")"
echo "== the container check passed"
