#!/usr/bin/env bash
# pelorin-logger over a long run: the simulator feeds it over loopback TCP at a
# fixed pace and is killed and started again on the same port every so often,
# as a gateway that loses power would be. Every interval the script notes the
# logger's share of one core per thread (time on the CPU from
# /proc/PID/task/*/schedstat) and its resident memory. At the end it stops the
# logger with SIGTERM and checks the file against the logger's own count: the
# records in the CSV must equal the reports it says it decoded.
#
# A faster pace stands for a longer run at a real gateway's: an hour at
# 5,000 reports/s is as many reports as eleven hours at 460/s.
#
# Usage: logger_soak.sh [-d SECONDS] [-r RATE] [-i INTERVAL] [-k RESTART] BUILD_DIR
# BUILD_DIR holds src/logger/pelorin-logger and tools/gateway-sim/pelorin-gateway-sim.
# -k 0 never restarts the gateway. The CSV is kept in a temporary folder and
# removed at the end.
set -euo pipefail
duration=60 rate=460 interval=10 restart=0
usage="usage: $0 [-d SECONDS] [-r RATE] [-i INTERVAL] [-k RESTART] BUILD_DIR"
while getopts d:r:i:k: option; do
  case $option in
    d) duration=$OPTARG ;;
    r) rate=$OPTARG ;;
    i) interval=$OPTARG ;;
    k) restart=$OPTARG ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
(($# == 1)) || { echo "$usage" >&2; exit 2; }
logger=$1/src/logger/pelorin-logger sim=$1/tools/gateway-sim/pelorin-gateway-sim
source "$(dirname "$0")/../../tests/support/desktop_checks.sh"
source "$(dirname "$0")/soak_support.sh"
work=$(mktemp -d)
cleanup() {
  pkill -P $$ 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

start_sim "$sim" "$work/sim.out" --rate "$rate"
"$logger" --tcp "127.0.0.1:$sim_port" --csv "$work/soak.csv" --silence 5 2>"$work/events.txt" &
logger_pid=$!
sleep 2

rss_kb() { awk '/^VmRSS/{print $2}' /proc/"$logger_pid"/status; }

rss_start=$(rss_kb)
printf 'interval\tcpu_%%\trss_kB\n'
started=$SECONDS last_restart=$SECONDS restarts=0
: >"$work/shares"
: >"$work/thread_shares"
while ((SECONDS - started < duration)); do
  threads_ns "$logger_pid" >"$work/before"; t0=$(date +%s%N)
  sleep "$interval"
  threads_ns "$logger_pid" >"$work/after"; t1=$(date +%s%N)
  cpu_shares "$work/before" "$work/after" $((t1 - t0)) "$work/thread_shares" >>"$work/shares"
  share=$(tail -1 "$work/shares")
  printf '%d\t%s\t%s\n' "$((SECONDS - started))" "$share" "$(rss_kb)"
  if ((restart > 0 && SECONDS - last_restart >= restart)); then
    kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true
    sleep 3
    "$sim" --tcp "127.0.0.1:$sim_port" --rate "$rate" >"$work/sim.out" 2>&1 &
    sim_pid=$!
    last_restart=$SECONDS restarts=$((restarts + 1))
  fi
done
rss_end=$(rss_kb)
rss_peak=$(awk '/^VmHWM/{print $2}' /proc/"$logger_pid"/status)
kill -TERM "$logger_pid"
process_ends "$logger_pid" 5 || { echo "the logger did not stop within 5 s" >&2; exit 1; }
wait "$logger_pid" || { echo "the logger exited with status $?" >&2; exit 1; }

records=$(($(wc -l <"$work/soak.csv") - 1))
decoded=$(sed -n 's/.* stopped; \([0-9]*\) reports decoded.*/\1/p' "$work/events.txt")
sessions=$(grep -c 'start command answered' "$work/events.txt" || true)
sort -n "$work/shares" | awk -v rss0="$rss_start" -v rss1="$rss_end" -v peak="$rss_peak" \
  -v records="$records" -v decoded="${decoded:-0}" -v sessions="$sessions" -v restarts="$restarts" '
  { share[NR] = $1 }
  END {
    printf "cpu: median %.2f %% of one core (%.2f-%.2f) over %d intervals\n", share[int((NR + 1) / 2)], share[1], share[NR], NR
    printf "memory: %d kB at start, %d kB at end, peak %d kB\n", rss0, rss1, peak
    printf "sessions: %d (gateway restarted %d times)\n", sessions, restarts
    printf "records in the file: %d; reports decoded: %d\n", records, decoded
  }'
thread_medians "$work/thread_shares"
((records == ${decoded:--1})) || { echo "the file does not hold every decoded report" >&2; exit 1; }
