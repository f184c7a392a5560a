#!/usr/bin/env bash
# What publishing to MQTT costs pelorin-logger, against a Mosquitto broker of
# the run's own on a free loopback port (no persistence; as nobody when run
# as root).
#
# -m cost (the default, 460 reports/s): two loggers side by side in one run,
# each fed by its own simulator over loopback TCP at the same pace, one
# logging to CSV only and one also publishing with --mqtt. Running them at
# once lets both see the same load from the rest of the machine, so the
# difference per interval is the cost of publishing, not of the machine's
# moods. Every interval the script notes each logger's and the broker's share
# of one core (time on the CPU from /proc/PID/task/*/schedstat).
#
# -m throughput (5,000 reports/s): one logger publishing, and a mosquitto_sub
# counting the report messages that reach it. Every interval it notes the
# records in the CSV, the messages received and their pace. At the end the simulator is
# stopped first and the publisher given time to empty its queue: every report
# the logger decoded must have reached the subscriber.
#
# Either way the logger is stopped with SIGTERM at the end, and its CSV must
# hold every report it says it decoded.
#
# Usage: mqtt_soak.sh [-m cost|throughput] [-d SECONDS] [-r RATE] [-i INTERVAL] BUILD_DIR
# BUILD_DIR holds src/logger/pelorin-logger and tools/gateway-sim/pelorin-gateway-sim.
# Needs mosquitto and mosquitto-clients. Files are kept in a temporary folder
# and removed at the end.
set -euo pipefail
mode=cost duration=60 rate="" interval=10
usage="usage: $0 [-m cost|throughput] [-d SECONDS] [-r RATE] [-i INTERVAL] BUILD_DIR"
while getopts m:d:r:i: option; do
  case $option in
    m) mode=$OPTARG ;;
    d) duration=$OPTARG ;;
    r) rate=$OPTARG ;;
    i) interval=$OPTARG ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
(($# == 1)) && [[ $mode == cost || $mode == throughput ]] || { echo "$usage" >&2; exit 2; }
[[ -n $rate ]] || { [[ $mode == cost ]] && rate=460 || rate=5000; }
logger=$1/src/logger/pelorin-logger sim=$1/tools/gateway-sim/pelorin-gateway-sim
here=$(dirname "$0")
source "$here/../../tests/support/desktop_checks.sh"
source "$here/soak_support.sh"
work=$(mktemp -d) broker_dir=$(mktemp -d)
cleanup() {
  pkill -P $$ 2>/dev/null || true
  rm -rf "$work" "$broker_dir"
}
trap cleanup EXIT

start_broker "$broker_dir"
topic=bench

declare -A logger_pid sim_pid decoded
# start_logger NAME LOGGER_ARGS...: a simulator of its own and a logger of it.
start_logger() {
  local name=$1
  start_sim "$sim" "$work/$name.sim" --rate "$rate" || { echo "the simulator did not start" >&2; exit 1; }
  sim_pid[$name]=$sim_pid
  "$logger" --tcp "127.0.0.1:$sim_port" --csv "$work/$name.csv" --silence 5 "${@:2}" 2>"$work/$name.events" &
  logger_pid[$name]=$!
}
mqtt_args=(--mqtt "mqtt://127.0.0.1:$broker_port" --mqtt-topic "$topic")

if [[ $mode == throughput ]]; then
  # Subscribed before the logger starts, so that each message is counted once.
  mosquitto_sub -h 127.0.0.1 -p "$broker_port" -t "$topic/node/+" -F %t >"$work/received" &
  names=(mqtt)
else
  names=(plain mqtt)
  start_logger plain
fi
start_logger mqtt "${mqtt_args[@]}"

# The retained status says the logger has connected and published.
online=$(mosquitto_sub -h 127.0.0.1 -p "$broker_port" -t "$topic/status" -C 1 -W 10 2>/dev/null || true)
if [[ $online != online ]]; then
  echo "the logger did not come online at the broker within 10 s; its lines:" >&2
  cat "$work/mqtt.events" >&2
  exit 1
fi
sleep 2

measured=("${names[@]}" broker)
declare -A pid_of
for name in "${names[@]}"; do pid_of[$name]=${logger_pid[$name]}; done
pid_of[broker]=$broker_pid
records() { echo $(($(wc -l <"$work/$1.csv") - 1)); }
received() { wc -l <"$work/received"; }

if [[ $mode == cost ]]; then
  printf 'interval\tplain_%%\tmqtt_%%\tbroker_%%\n'
else
  printf 'interval\tmqtt_%%\tbroker_%%\trecords\treceived\treceived/s\n'
fi
started=$SECONDS
while ((SECONDS - started < duration)); do
  for name in "${measured[@]}"; do threads_ns "${pid_of[$name]}" >"$work/$name.before"; done
  t0=$(date +%s%N)
  if [[ $mode == throughput ]]; then received_before=$(received); fi
  sleep "$interval"
  for name in "${measured[@]}"; do threads_ns "${pid_of[$name]}" >"$work/$name.after"; done
  t1=$(date +%s%N)
  line=$((SECONDS - started))
  for name in "${measured[@]}"; do
    cpu_shares "$work/$name.before" "$work/$name.after" $((t1 - t0)) "$work/$name.threads" >>"$work/$name.shares"
    line+=$'\t'$(tail -1 "$work/$name.shares")
  done
  if [[ $mode == throughput ]]; then
    received_after=$(received)
    pace=$(((received_after - received_before) * 1000000000 / (t1 - t0)))
    echo "$pace" >>"$work/pace"
    line+=$'\t'$(records mqtt)$'\t'$received_after$'\t'$pace
  fi
  echo "$line"
done

if [[ $mode == throughput ]]; then
  # No more reports: what the publisher still holds reaches the broker.
  kill "${sim_pid[mqtt]}"
  wait "${sim_pid[mqtt]}" 2>/dev/null || true
  last=-1 steady=0
  for _ in $(seq 60); do
    count=$(received)
    if ((count == last)); then ((++steady >= 4)) && break; else steady=0; fi
    last=$count
    sleep 0.5
  done
fi

for name in "${names[@]}"; do
  kill -TERM "${logger_pid[$name]}"
  process_ends "${logger_pid[$name]}" 5 || { echo "the $name logger did not stop within 5 s" >&2; exit 1; }
  wait "${logger_pid[$name]}" || { echo "the $name logger exited with status $?" >&2; exit 1; }
done

complete=true
for name in "${names[@]}"; do
  decoded[$name]=$(sed -n 's/.* stopped; \([0-9]*\) reports decoded.*/\1/p' "$work/$name.events")
  printf '%s logger: %d records in the file; %d reports decoded\n' "$name" "$(records "$name")" "${decoded[$name]:-0}"
  (($(records "$name") == ${decoded[$name]:--1})) || { echo "  the file does not hold every decoded report" >&2; complete=false; }
done
if [[ $mode == cost ]]; then
  paste "$work/plain.shares" "$work/mqtt.shares" | awk '{ printf "%.3f\n", $2 - $1 }' >"$work/extra.shares"
  echo "logger without --mqtt: $(median_spread "$work/plain.shares") intervals, % of one core"
  echo "logger with --mqtt:    $(median_spread "$work/mqtt.shares") intervals"
  echo "extra with --mqtt:     $(median_spread "$work/extra.shares") intervals (same interval, paired)"
else
  echo "logger with --mqtt at $rate reports/s: $(median_spread "$work/mqtt.shares") intervals, % of one core"
  echo "messages received per second: $(median_spread "$work/pace") intervals"
  got=$(received)
  echo "messages received: $got of ${decoded[mqtt]:-0} reports decoded"
  ((got == ${decoded[mqtt]:--1})) || { echo "  publishing did not keep up" >&2; complete=false; }
fi
echo "broker: $(median_spread "$work/broker.shares") intervals"
echo "threads of the logger with --mqtt:"
thread_medians "$work/mqtt.threads"
echo "its lines about the broker:"
grep -i -e mqtt -e broker "$work/mqtt.events" | sed 's/^/  /' || echo "  none"
$complete
