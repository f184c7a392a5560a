#!/usr/bin/env bash
# pelorin-logger as a service meets it: SIGHUP after the log was moved away
# (log rotation) reopens it at its path and loses nothing; an event line to a
# stderr whose reader went away costs the line, not the logger; started with
# its standard streams closed, it keeps event lines out of the log; SIGTERM
# ends it with status 0, every report in a file.
#
# Usage: signals_test.sh PELORIN_LOGGER GATEWAY_SIM
set -uo pipefail
logger=$1 sim=$2

source "$(dirname "$0")/../support/desktop_checks.sh"
work=$(mktemp -d)
cleanup() {
  pkill -P $$ 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Records in the CSV files named, below their header lines.
records() {  # records FILE...
  local total=0 file
  for file in "$@"; do
    [[ -f $file ]] && total=$((total + $(wc -l <"$file") - 1))
  done
  echo "$total"
}

has_header() {  # has_header FILE: it begins with 日付 in Shift-JIS
  head -c 4 "$1" | cmp -s - <(printf '\x93\xfa\x95\x74')
}

# Waits up to 20 s until the files hold COUNT records.
await_records() {  # await_records COUNT FILE...
  local count=$1 deadline=$((SECONDS + 20))
  shift
  while ((SECONDS < deadline)); do
    (($(records "$@" 2>/dev/null) >= count)) && return 0
    sleep 0.1
  done
  return 1
}

# Sends SIGTERM and gives the exit status.
stop() {  # stop PID
  kill -TERM "$1"
  wait "$1"
}

failed=0
fail() { echo "FAIL: $*"; failed=1; }

# Rotation with a reader of stderr that has gone: 3000 reports, across two files.
start_sim "$sim" "$work/sim.out" --rate 1000 --count 3000 || fail "the simulator did not start"
"$logger" --tcp "127.0.0.1:$sim_port" --csv "$work/log.csv" 2> >(head -n 1 >"$work/first") &
logger_pid=$!
await_records 100 "$work/log.csv" || fail "nothing logged"
mv "$work/log.csv" "$work/log.csv.1"
kill -HUP "$logger_pid"
await_records 3000 "$work/log.csv.1" "$work/log.csv" || fail "reports were lost"
stop "$logger_pid"
status=$?
((status == 0)) || fail "ended with status $status after SIGHUP and a gone reader"
(($(records "$work/log.csv") > 0)) || fail "nothing went into the reopened file"
for file in "$work/log.csv.1" "$work/log.csv"; do
  has_header "$file" || fail "$file does not begin with the header"
done
echo "rotated: $(records "$work/log.csv.1") + $(records "$work/log.csv") records"

# Standard streams closed: the log must not become one of them.
start_sim "$sim" "$work/sim.out" --rate 1000 --count 200 || fail "the simulator did not start"
"$logger" --tcp "127.0.0.1:$sim_port" --csv "$work/closed.csv" <&- >&- 2>&- &
logger_pid=$!
await_records 200 "$work/closed.csv" || fail "reports were lost with the streams closed"
stop "$logger_pid"
status=$?
((status == 0)) || fail "ended with status $status with its streams closed"
if tail -n +2 "$work/closed.csv" | LC_ALL=C grep -qv '^20[0-9][0-9]/'; then
  fail "the log holds lines that are no records:"
  tail -n +2 "$work/closed.csv" | LC_ALL=C grep -v '^20[0-9][0-9]/' | head -3
fi
exit "$failed"
