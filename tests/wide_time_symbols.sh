#!/bin/sh
# Checks the calls a built wdog imports. On 32-bit x86, none may be a C
# library call with a 32-bit time_t or 32-bit file offsets and inode
# numbers: each has a 64-bit variant (__stat64_time64, open64, ...). On
# every build, no call into the framework may take a time or a struct stat,
# whose layouts differ between the framework's build and this one.
# Usage: wide_time_symbols.sh WDOG
set -eu
wdog=$1
status=0

if [ "$(od -An -tx1 -j4 -N1 "$wdog" | tr -d ' ')" = 01 ]; then
  narrow=$(nm -D --undefined-only "$wdog" | awk '{print $2}' | sed 's/@.*//' |
    grep -E -x 'time|(l|f)?stat(at)?(64)?|__(l|f)?xstat(at)?(64)?|open|openat|creat|ftruncate|truncate|lseek|readdir|fopen|utimes?|utimensat|futimens|clock_gettime|gettimeofday|nanosleep|(local|gm)time(_r)?|mktime|difftime|ctime(_r)?' || true)
  if [ -n "$narrow" ]; then
    echo "32-bit time or file calls imported:" $narrow
    status=1
  fi
fi

timed=$(nm -D --undefined-only -C "$wdog" | grep wx | grep -E '\b(stat|tm|timespec|timeval|wxDateTime|time_t)\b' || true)
if [ -n "$timed" ]; then
  echo "framework calls that take a time or a struct stat:"
  echo "$timed"
  status=1
fi
[ "$status" -ne 0 ] || echo "no narrow time or file call, no time or struct stat passed to the framework"
exit "$status"
