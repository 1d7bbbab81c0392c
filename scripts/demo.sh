#!/bin/bash
# Builds wdog and shows it at work on examples/wdog-ticker: the ticker started,
# its crash repaired, its hang repaired, a "restart" honoured, and "die"
# ending the watchdog.
set -euo pipefail
cd "$(dirname "$0")/.."

sh scripts/install-deps.sh
# A build of its own: the suite's build/ stays as the test command left it.
cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF > /dev/null
cmake --build build-demo -j "$(nproc)" > /dev/null

work=$(mktemp -d)
# Names of its own (the pid and a random part): the demo's watchdog takes a
# lock of its own, apart from any wdog that runs here, and its ticker is
# the only process of its name.
tag=$$$(($(od -An -N1 -tu1 /dev/urandom) % 100))
ticker_name=ticker$tag
ln -s "$PWD/build-demo/app/wdog" "$work/wdog-demo$tag"
cp examples/wdog-ticker "$work/$ticker_name"
ctl=$work/ticker.ctl
wdog_pid=
group=

# The watchdog leads a process group of its own, which its tickers join:
# ending that group ends all the demo started, and nothing else.
cleanup() {
    [ -z "$group" ] || kill -KILL -- "-$group" 2> /dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

say() { printf '\n== %s\n' "$*"; }

# Sets ticker to the pid of a running ticker other than $1, waiting up to $2
# seconds (40 by default) for one. It runs in this shell, not in a subshell,
# so that an interrupt is handled at once.
wait_for_ticker_other_than() {
    local i pid
    for i in $(seq $((${2:-40} * 10))); do
        for pid in $(pgrep -x "$ticker_name" -g "$group" || true); do
            [ "$pid" != "$1" ] && { ticker=$pid; return 0; }
        done
        sleep 0.1
    done
    echo "no new ticker appeared within ${2:-40} s" >&2
    return 1
}

say "Starting wdog: command $work/$ticker_name, control file $ctl, process name $ticker_name."
say "The ticker is not running yet. wdog starts it once it has been unseen for more than 15 s for five passes in a row: about 20 s."
# This shell runs without job control, so the background job leads no group
# and setsid makes one without a fork: its pid is the group's.
(cd "$work" && exec setsid "./wdog-demo$tag" "$work/$ticker_name" "$ctl" "$ticker_name") &
wdog_pid=$!
group=$wdog_pid
started=$SECONDS
wait_for_ticker_other_than none
say "After $((SECONDS - started)) s wdog started the ticker: pid $ticker, a child of wdog (pid $wdog_pid)."

sleep 4
say "The ticker crashes: it is killed with SIGKILL. wdog sees it missing and starts it again about 20 s later."
kill -KILL "$ticker"
crashed=$SECONDS
wait_for_ticker_other_than "$ticker"
say "After $((SECONDS - crashed)) s the ticker runs again: pid $ticker."

sleep 4
say "The ticker hangs: it is stopped with SIGSTOP. It still runs, so wdog still finds it, but it no longer touches the control file, so only its heartbeat ages. Once the heartbeat is more than 60 s old every pass fails, and at the fifth failed pass in a row, about 65 s after the last touch, wdog kills the ticker; after a pause of 5 s it starts a new one."
hung=$ticker
kill -STOP "$hung"
stopped=$SECONDS
# Killed, the hung ticker is gone, or a zombie until wdog's next pass reaps it.
gone=
for i in $(seq 1200); do
    case $(ps -o stat= -p "$hung" 2> /dev/null || true) in
        T*) sleep 0.1 ;;
        *) gone=yes; break ;;
    esac
done
if [ -z "$gone" ]; then
    echo "the hung ticker (pid $hung) was not killed within 120 s" >&2
    exit 1
fi
killed=$SECONDS
say "After $((killed - stopped)) s wdog killed the hung ticker (pid $hung)."
wait_for_ticker_other_than "$hung" 30
say "After $((SECONDS - killed)) s more it started a new one: pid $ticker."

sleep 4
say "Asking for a restart: 'restart' goes on the first line of the control file. The ticker sees it and leaves; wdog waits for it to go, truncates the file and starts it anew."
echo restart > "$ctl"
asked=$SECONDS
wait_for_ticker_other_than "$ticker"
say "After $((SECONDS - asked)) s the new ticker runs: pid $ticker."

sleep 4
say "Ending the watchdog: 'die' goes on the first line of the control file."
echo die > "$ctl"
status=0
wait "$wdog_pid" || status=$?
wdog_pid=
say "wdog ended with status $status. Ending it killed nothing: the ticker (pid $ticker) still runs, so the demo stops it now."
kill "$ticker"
say "Done."
