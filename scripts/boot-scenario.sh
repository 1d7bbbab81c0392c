#!/bin/bash
# Runs inside the virtual machine that check-boot.sh boots, as a unit of
# systemd (PID 1) ordered after app.service, and puts the example deployment
# through its faults. It judges nothing: it writes what it saw, one
# "KEY VALUE" a line, to /var/lib/boot-check/result, and check-boot.sh reads
# that from the image after the machine has powered off.
#
# /etc/boot-check/steps lists the steps: abc (boot, crash, hang), t (two
# programs deployed through the package's wdog@.service: boot, crash, hang,
# a refused start, stop), def (wdog killed, wdog hung then the server
# killed, stop and start, reboot), i (then the same a to c again with the
# i386 package installed through multiarch). The machine powers off at the
# end, and reboots once for f. Each wdog is found by its unit's MainPID:
# three run, all under the name wdog.
set -u
dir=/var/lib/boot-check
result=$dir/result
steps=$(cat /etc/boot-check/steps)
mkdir -p "$dir"

# Each result goes to the console too, where check-boot.sh logs it.
report() { echo "$*" | tee -a "$result"; }
has() { [[ $steps == *$1* ]]; }

# The pid of a process of user app named $1 that runs (not stopped, not
# ended) and is not $2.
running() {
  ps -u app -o pid=,stat=,comm= | awk -v name="$1" -v except="${2:-0}" \
    '$3 == name && $2 !~ /^[TZ]/ && $1 != except { print $1; exit }'
}
# Waits up to $1 seconds for the command that follows to succeed, and
# prints how long it took, or "timeout".
within() {
  local limit=$1 start=$SECONDS
  shift
  until "$@"; do
    if ((SECONDS - start >= limit)); then
      echo timeout
      return 1
    fi
    sleep 0.5
  done
  echo $((SECONDS - start))
}
# The pid of a unit's main process, which runs (not stopped), or nothing.
main_pid() {
  local pid
  pid=$(systemctl show -P MainPID "$1")
  [ "${pid:-0}" != 0 ] && ps -o stat= -p "$pid" | grep -qv '^[TZ]' && echo "$pid"
}
server_other_than() { [ -n "$(running server "$1")" ]; }
server_and_wdog() { [ -n "$(running server)" ] && [ -n "$(main_pid app)" ]; }
starts() { journalctl -b -t app -o cat | grep -c 'starting server'; }

# a: after boot (or a start) the unit is active; server and wdog run as app.
step_a() {
  local p=$1 server wdog
  report "$p.a.server_seconds $(within 120 server_other_than 0)"
  server=$(running server)
  wdog=$(main_pid app)
  report "$p.a.uptime $(cut -d. -f1 /proc/uptime)"
  report "$p.a.boot $(systemd-analyze time 2> /dev/null | sed -n 's/^Startup finished.* = \(.*\)$/\1/p' | tr -d ' ')"
  report "$p.a.active $(systemctl is-active app)"
  report "$p.a.server_user $(ps -o user= -p "${server:-0}")"
  report "$p.a.wdog_user $(ps -o user= -p "${wdog:-0}")"
  report "$p.a.wdog_parent $(ps -o ppid= -p "${wdog:-0}" | tr -d ' ')"
  report "$p.a.wdog_elf_class $(od -An -tx1 -j4 -N1 /usr/bin/wdog | tr -d ' ')"
}

# b: the server killed runs again; the journal shows the new start.
step_b() {
  local p=$1 server before
  server=$(running server)
  before=$(starts)
  kill -KILL "$server"
  report "$p.b.seconds $(within 120 server_other_than "$server")"
  sleep 1
  report "$p.b.new_starts $(($(starts) - before))"
}

# c: the server hangs (SIGSTOP) and is replaced.
step_c() {
  local p=$1 server
  server=$(running server)
  kill -STOP "$server"
  report "$p.c.seconds $(within 200 server_other_than "$server")"
}

# d: wdog killed, and 2 s later whatever server runs then (if any) hangs.
step_d() {
  local wdog
  wdog=$(main_pid app)
  kill -KILL "$wdog"
  sleep 2
  pkill -STOP -u app -x server
  report "amd64.d.stopped $(ps -u app -o stat=,comm= | grep -c '^T.* server$')"
  report "amd64.d.seconds $(within 300 server_and_wdog)"
  report "amd64.d.active $(systemctl is-active app)"
}

# g: wdog hangs (SIGSTOP), then the server is killed: systemd's watchdog
# aborts the unit, which starts again, and the new wdog starts a server. Its
# status line, which systemctl status shows, names that restart.
new_server_and_wdog() {
  local wdog
  wdog=$(main_pid app)
  [ -n "$(running server "$1")" ] && [ -n "$wdog" ] && [ "$wdog" != "$2" ]
}
step_g() {
  local wdog server status
  wdog=$(main_pid app)
  server=$(running server)
  kill -STOP "$wdog"
  kill -KILL "$server"
  report "amd64.g.seconds $(within 300 new_server_and_wdog "$server" "$wdog")"
  report "amd64.g.active $(systemctl is-active app)"
  within 10 sh -c 'systemctl show -P StatusText app | grep -q "running since.* restarts*, the last at"' > /dev/null
  status=$(systemctl status --no-pager app | sed -n 's/^ *Status: //p')
  echo "amd64.g.status $status"
  report "amd64.g.status_names_restart $(echo "$status" | grep -c 'restarts*, the last at')"
}

# t: the package's template unit, deployed as the manual says: web runs
# websrv as its own user, db runs dbsrv under the same user through a
# drop-in. Both are supervised at once; a unit that shares web's lock is
# refused, and an instance name with a dot is refused before wdog runs.
instances=(web db)
declare -A program=([web]=websrv [db]=dbsrv)
served() { # INSTANCE [EXCEPT]: the instance's program runs, and is not EXCEPT
  local pid
  pid=$(ps -u web -o pid=,stat=,comm= | awk -v name="${program[$1]}" -v except="${2:-0}" \
    '$3 == name && $2 !~ /^[TZ]/ && $1 != except { print $1; exit }')
  [ -n "$pid" ] && echo "$pid"
}
all_served() { # [EXCEPT-WEB EXCEPT-DB]
  served web "${1:-0}" > /dev/null && served db "${2:-0}" > /dev/null
}
step_t() {
  local start=$SECONDS web db i inactive=0 outcome
  # The three commands, and for db a drop-in in place of "systemctl edit".
  adduser --system --group web > /dev/null 2>&1
  printf 'WDOG_COMMAND=/opt/web/websrv\nWDOG_NAME=websrv\n' > /etc/wdog/web.conf
  systemctl enable --now wdog@web 2> /dev/null
  mkdir -p /etc/systemd/system/wdog@db.service.d
  printf '[Service]\nUser=web\n' > /etc/systemd/system/wdog@db.service.d/user.conf
  printf 'WDOG_COMMAND=/opt/db/dbsrv\nWDOG_NAME=dbsrv\n' > /etc/wdog/db.conf
  systemctl daemon-reload
  systemctl enable --now wdog@db 2> /dev/null
  report "t.a.deploy_seconds $((SECONDS - start))"
  report "t.a.server_seconds $(within 120 all_served)"
  for i in "${instances[@]}"; do
    report "t.a.$i.active $(systemctl is-active "wdog@$i")"
    report "t.a.$i.wdog_argv0 $(tr '\0' ' ' < "/proc/$(main_pid "wdog@$i")/cmdline" | cut -d' ' -f1)"
    report "t.a.$i.wdog_user $(ps -o user= -p "$(main_pid "wdog@$i")")"
    report "t.a.$i.server_user $(ps -o user= -p "$(served "$i")")"
  done
  web=$(served web)
  db=$(served db)
  report "t.a.nonewprivs $(awk '$1 == "NoNewPrivs:" { print $2 }' "/proc/$web/status")"
  report "t.a.nosuid $(awk '$5 == "/" || $5 == "/usr" { print $6 }' "/proc/$web/mountinfo" | grep -c nosuid)"
  report "t.a.same_shm $([ "$(stat -L -c %d:%i /dev/shm)" = "$(stat -L -c %d:%i "/proc/$(main_pid wdog@web)/root/dev/shm")" ] && echo 1 || echo 0)"
  for i in wdog@web app; do
    echo "t.a.security $i $(systemd-analyze security "$i.service" 2> /dev/null | sed -n 's/.*exposure level for .*: //p')"
  done

  kill -KILL "$web" "$db"
  report "t.b.seconds $(within 120 all_served "$web" "$db")"
  web=$(served web)
  db=$(served db)
  kill -STOP "$web" "$db"
  report "t.c.seconds $(within 200 all_served "$web" "$db")"

  # Ten starts that web's lock refuses: each ends inactive, not failed.
  web=$(main_pid wdog@web)
  for i in 1 2 3 4 5 6 7 8 9 10; do
    systemctl start refused 2> /dev/null
    within 10 sh -c '[ "$(systemctl is-active refused)" = inactive ]' > /dev/null && inactive=$((inactive + 1))
    outcome=$(systemctl show -P Result refused)
  done
  report "t.r.inactive $inactive"
  report "t.r.result $outcome"
  report "t.r.restarts $(systemctl show -P NRestarts refused)"
  report "t.r.says_why $(journalctl -b -u refused -o cat | grep -c "another watchdog of this name and user supervises (pid $web): leaving")"
  systemctl status --no-pager refused | sed 's/^/t.r.status /'
  report "t.r.web_stays $([ "$(main_pid wdog@web)" = "$web" ] && echo 1 || echo 0)"

  mkdir -p /etc/systemd/system/wdog@web.db.service.d
  printf '[Service]\nUser=web\n' > /etc/systemd/system/wdog@web.db.service.d/user.conf
  cp /etc/wdog/db.conf /etc/wdog/web.db.conf
  systemctl daemon-reload
  systemctl start wdog@web.db 2> /dev/null
  report "t.d.dot_refused $(journalctl -b -u wdog@web.db -o cat | grep -c 'must not contain a dot')"
  report "t.d.dot_state $(systemctl is-active wdog@web.db)"
  report "t.d.dot_restarts $(systemctl show -P NRestarts wdog@web.db)"

  start=$SECONDS
  systemctl stop wdog@web wdog@db
  report "t.e.stop_seconds $((SECONDS - start))"
  for i in "${instances[@]}"; do
    report "t.e.$i.result $(systemctl show -P Result "wdog@$i")"
  done
  report "t.e.left $(ps -u web -o pid= | wc -l)"
}

# e: a stop leaves nothing of user app, for good; a start brings both back.
step_e() {
  local start=$SECONDS
  systemctl stop app
  report "amd64.e.stop_seconds $((SECONDS - start))"
  report "amd64.e.state $(systemctl is-active app)"
  report "amd64.e.left $(ps -u app -o pid= | wc -l)"
  sleep 70
  report "amd64.e.state_later $(systemctl is-active app)"
  report "amd64.e.left_later $(ps -u app -o pid= | wc -l)"
  systemctl start app
  report "amd64.e.start_seconds $(within 120 server_and_wdog)"
}

# f: after the reboot the unit is active and the server runs; so do the
# enabled instances of the template, stopped before the reboot.
step_f() {
  if has t; then
    report "t.f.server_seconds $(within 120 all_served)"
    report "t.f.active $(systemctl is-active wdog@web wdog@db | sort -u | tr '\n' ' ' | tr -d ' ')"
  fi
  report "amd64.f.server_seconds $(within 120 server_other_than 0)"
  report "amd64.f.uptime $(cut -d. -f1 /proc/uptime)"
  report "amd64.f.boot $(systemd-analyze time 2> /dev/null | sed -n 's/^Startup finished.* = \(.*\)$/\1/p' | tr -d ' ')"
  report "amd64.f.active $(systemctl is-active app)"
}

# The i386 package in place of the amd64 one, through multiarch.
switch_to_i386() {
  systemctl stop app
  dpkg --remove wdog > /dev/null
  dpkg --install /opt/boot-check/wdog_*_i386.deb > /dev/null
  report "i386.installed $(dpkg-query -W -f '${Architecture}' wdog)"
  systemctl start app
  [ -x /usr/bin/wdog ]
}

if [ ! -e "$dir/rebooted" ]; then
  prefix=$(dpkg --print-architecture)
  step_a "$prefix"
  step_b "$prefix"
  step_c "$prefix"
  has t && step_t
  if has d; then
    step_d
    step_g
    step_e
    touch "$dir/rebooted"
    systemctl reboot
    exit 0
  fi
else
  step_f
fi
if has i && switch_to_i386; then
  step_a i386
  step_b i386
  step_c i386
fi
report "done 1"
systemctl poweroff
