#!/bin/sh
# Heartbeat from a shell script: touch the control file every few seconds,
# and leave when its first line asks for a restart (wdog then starts the
# program again). The file is HEARTBEAT_FILE, or heartbeat.ctl in the
# working directory, which wdog's child inherits.
ctl=${HEARTBEAT_FILE:-heartbeat.ctl}
while :; do
    touch "$ctl"
    line=
    read -r line < "$ctl" 2>/dev/null
    [ "$line" = restart ] && exit 0
    sleep 2
done
