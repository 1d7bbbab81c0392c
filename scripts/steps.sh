# The one runner of the checks' steps and stages, sourced by the scripts
# (bash). A step runs in the foreground; stages run beside each other in
# the background. Each has a log of its own, shown in part when it fails.

# Runs a step with its output in LOG, says how long it took, shows the end
# of the log when it fails, and returns its status.
# step LABEL LOG COMMAND...
step() {
  local label=$1 log=$2 start=$SECONDS status=0
  shift 2
  echo "  $label: $*"
  "$@" > "$log" 2>&1 < /dev/null || status=$?
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log" >&2
    echo "  $label failed after $((SECONDS - start)) s (log: $log)" >&2
    return "$status"
  fi
  echo "  $label: $((SECONDS - start)) s"
}

# Stages: each runs COMMAND in the background, once every stage named
# before the -- has passed, with at most STAGE_SLOTS of them running at
# once (default 4): of those ready, the one given first starts first. A
# stage that mostly waits (real time, not CPU), or one that runs niced,
# takes no slot (--no-slot). Its output goes to
# $STAGE_DIR/NAME.log; its wall and CPU time (its own and its children's)
# are recorded beside it. Every stage must end by the run's time limit,
# STAGE_LIMIT seconds after the first stage was given (default 4800, so
# that a run ends with its table within CI's 90 minutes): one still running
# then is ended with its process group (TERM, and KILL 30 s later) and
# reported as timed out.
#   stage [--no-slot] NAME [AFTER...] -- COMMAND...
#   stages_wait   waits for every stage, prints the table of their times,
#                 shows the end of each failed stage's log, and fails when
#                 any stage failed or was not run, naming each.
stage_names=()
stage_started=$EPOCHREALTIME

stage() {
  local free=""
  if [ "$1" = --no-slot ]; then
    free=yes
    shift
  fi
  local name=$1 after=()
  shift
  while [ "$1" != -- ]; do
    after+=("$1")
    shift
  done
  shift
  : "${STAGE_DIR:?}"
  mkdir -p "$STAGE_DIR"
  rm -f "$STAGE_DIR/$name".{log,status,times,turn,timeout}
  stage_names+=("$name")
  # Its turn, and what it waits for: the first stage given that is ready
  # takes the next free slot.
  [ -n "$free" ] || echo "${#stage_names[@]} ${after[*]}" > "$STAGE_DIR/$name.turn"
  (
    set +e
    trap - EXIT
    local dep
    for dep in "${after[@]}"; do
      while [ ! -e "$STAGE_DIR/$dep.status" ]; do sleep 1; done
      if [ "$(cat "$STAGE_DIR/$dep.status")" != 0 ]; then
        rm -f "$STAGE_DIR/$name.turn"
        echo "not run: $dep failed" > "$STAGE_DIR/$name.log"
        echo "not run" > "$STAGE_DIR/$name.status"
        exit 0
      fi
    done
    # A slot is a lock file held while the command runs.
    local slot fd
    [ -z "$free" ] || exec {fd}> /dev/null
    while [ -z "$free" ]; do
      if [ "$(stage_first_ready)" = "$name" ]; then
        for slot in $(seq "${STAGE_SLOTS:-4}"); do
          exec {fd}> "$STAGE_DIR/.slot$slot"
          flock -n "$fd" && break 2
          exec {fd}>&-
        done
      fi
      sleep 1
    done
    rm -f "$STAGE_DIR/$name.turn"
    local start=$EPOCHREALTIME status=0 left
    left=$(stage_time_left)
    if [ "$left" -le 0 ]; then
      echo "not run: the run's time limit had passed" > "$STAGE_DIR/$name.log"
      echo "not run" > "$STAGE_DIR/$name.status"
      exit 0
    fi
    echo "== $name started"
    # Monitor mode gives the command a process group of its own, which the
    # timer ends whole, and the timer one, ended whole with its sleep.
    set -m
    "$@" > "$STAGE_DIR/$name.log" 2>&1 < /dev/null {fd}>&- &
    local command=$!
    (
      exec > /dev/null 2>&1 {fd}>&-
      sleep "$left"
      touch "$STAGE_DIR/$name.timeout"
      kill -TERM -- "-$command"
      sleep 30
      kill -KILL -- "-$command"
    ) &
    local timer=$!
    set +m
    wait "$command" || status=$?
    kill -- "-$timer" 2> /dev/null
    local end=$EPOCHREALTIME
    # The builtin, not in a pipeline: a pipeline's subshell has no children.
    times > "$STAGE_DIR/$name.times"
    sed -n 2p "$STAGE_DIR/$name.times" | awk -v start="$start" -v end="$end" -v at="$stage_started" '
      { gsub(/s/, ""); split($1, u, "m"); split($2, s, "m")
        printf "%.0f %.0f %.0f\n", start - at, end - start, u[1] * 60 + u[2] + s[1] * 60 + s[2] }' \
      > "$STAGE_DIR/$name.times.new"
    mv "$STAGE_DIR/$name.times.new" "$STAGE_DIR/$name.times"
    local result="FAILED (status $status)"
    [ "$status" -ne 0 ] || result=passed
    if [ -e "$STAGE_DIR/$name.timeout" ]; then
      status="timed out"
      result="TIMED OUT at the run's limit of ${STAGE_LIMIT:-4800} s"
      echo "== $result" >> "$STAGE_DIR/$name.log"
    fi
    echo "$status" > "$STAGE_DIR/$name.status"
    echo "== $name $result after $(cut -d' ' -f2 "$STAGE_DIR/$name.times") s"
  ) &
}

# Whole seconds until the run's time limit.
stage_time_left() {
  awk -v at="$stage_started" -v now="$EPOCHREALTIME" -v limit="${STAGE_LIMIT:-4800}" \
    'BEGIN { printf "%d", at + limit - now }'
}

# The name of the first stage given whose stages before it have passed and
# which has not started yet, or nothing.
stage_first_ready() {
  local file first="" name turn after dep ready
  for file in "$STAGE_DIR"/*.turn; do
    [ -e "$file" ] || continue
    read -r turn after < "$file" 2> /dev/null || continue
    ready=yes
    for dep in $after; do
      [ "$(cat "$STAGE_DIR/$dep.status" 2> /dev/null)" = 0 ] || ready=""
    done
    [ -n "$ready" ] || continue
    name=${file##*/}
    if [ -z "$first" ] || [ "$turn" -lt "${first%% *}" ]; then
      first="$turn ${name%.turn}"
    fi
  done
  echo "${first#* }"
}

stages_wait() {
  wait
  local name failed=() status times
  printf '\n%-24s %-10s %8s %8s %8s\n' stage result start wall cpu
  for name in "${stage_names[@]}"; do
    status=$(cat "$STAGE_DIR/$name.status" 2> /dev/null || echo "no result")
    times=$(cat "$STAGE_DIR/$name.times" 2> /dev/null || echo "- - -")
    # shellcheck disable=SC2086
    printf '%-24s %-10s %7ss %7ss %7ss\n' "$name" \
      "$([ "$status" = 0 ] && echo passed || echo "$status" | sed 's/^[0-9]*$/failed/')" $times
    [ "$status" = 0 ] || failed+=("$name")
  done
  local wall cpu
  wall=$(awk -v at="$stage_started" -v now="$EPOCHREALTIME" 'BEGIN { printf "%.0f", now - at }')
  cpu=$(cat "$STAGE_DIR"/*.times 2> /dev/null | awk '{ s += $3 } END { printf "%.0f", s }')
  printf '%-24s %-10s %8s %7ss %7ss\n' all "" "" "$wall" "$cpu"
  for name in "${failed[@]}"; do
    printf '\n== the end of %s\n' "$STAGE_DIR/$name.log" >&2
    tail -n 60 "$STAGE_DIR/$name.log" >&2
  done
  [ "${#failed[@]}" -eq 0 ] || { echo "failed: ${failed[*]}" >&2; return 1; }
}
