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

work=$(mktemp -d)
pids=()
cleanup() {
  kill "${pids[@]}" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Starts a simulator that sends COUNT reports at 1000 a second; sets port.
start_sim() {  # start_sim COUNT
  "$sim" --tcp 127.0.0.1:0 --rate 1000 --count "$1" >"$work/sim.out" &
  pids+=($!)
  port=
  for _ in $(seq 100); do
    port=$(sed -n 's/^listening on 127.0.0.1://p' "$work/sim.out")
    [[ -n $port ]] && return 0
    sleep 0.05
  done
  echo "the simulator did not start" >&2
  exit 1
}

# Records in the CSV files named, each of which must begin with its header.
records() {  # records FILE...
  local total=0 file
  for file in "$@"; do
    [[ -f $file ]] || continue
    head -c 4 "$file" | cmp -s - <(printf '\x93\xfa\x95\x74') ||
      echo "FAIL: $file does not begin with the header" >&2
    total=$((total + $(wc -l <"$file") - 1))
  done
  echo "$total"
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
start_sim 3000
"$logger" --tcp "127.0.0.1:$port" --csv "$work/log.csv" 2> >(head -n 1 >"$work/first") &
logger_pid=$!
await_records 100 "$work/log.csv" || fail "nothing logged"
mv "$work/log.csv" "$work/log.csv.1"
kill -HUP "$logger_pid"
await_records 3000 "$work/log.csv.1" "$work/log.csv" || fail "reports were lost"
stop "$logger_pid"
status=$?
((status == 0)) || fail "ended with status $status after SIGHUP and a gone reader"
(($(records "$work/log.csv") > 0)) || fail "nothing went into the reopened file"
echo "rotated: $(records "$work/log.csv.1") + $(records "$work/log.csv") records"

# Standard streams closed: the log must not become one of them.
start_sim 200
"$logger" --tcp "127.0.0.1:$port" --csv "$work/closed.csv" <&- >&- 2>&- &
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
