#!/usr/bin/env bash
# What the whole window program costs beside a gateway: the real pelorin on a
# display, fed over loopback TCP by the simulator at a fixed pace, logging off
# and on. Per thread it gives the share of one core (time on the CPU from
# /proc/PID/task/*/schedstat) and the wake-ups a second (voluntary context
# switches); a bare receiver of the same stream (bench/app/bare_receiver.cpp)
# is measured in the same run, and each build's total is given as a multiple
# of it. Builds are run in turn, round after round, so that a noisy machine
# weighs on all of them alike; each figure is a median with its range. What
# the X server spends meanwhile (Xvfb's threads, mostly taking in repaints)
# is given beside each build, outside its total.
#
# The mouse pointer rests on the window (-p over, as for someone watching it)
# or beside it (-p away): Qt asks the X server where the pointer is whenever a
# row turns from indicator to value or back while the pointer is over it.
#
# Usage: program_cost.sh [-n ROUNDS] [-s SECONDS] [-r RATES] [-p over|away]
#                        LABEL=BUILD_DIR...
# Each BUILD_DIR holds src/app/pelorin and tools/gateway-sim/pelorin-gateway-sim
# (a Linux build), or src/app/Pelorin.exe (a Windows build, run under Wine in
# WINEPREFIX with the Linux builds' simulator; the Wine server's threads are
# counted with it); one Linux build holds bench/app/pelorin-bench-bare-receiver.
# Needs a display (xvfb-run) and xdotool.
set -euo pipefail
rounds=3 seconds=10 rates="460 5000" pointer=over
usage="usage: $0 [-n ROUNDS] [-s SECONDS] [-r RATES] [-p over|away] LABEL=BUILD_DIR..."
while getopts n:s:r:p: option; do
  case $option in
    n) rounds=$OPTARG ;;
    s) seconds=$OPTARG ;;
    r) rates=$OPTARG ;;
    p) pointer=$OPTARG ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
(($# > 0)) && [[ $pointer == over || $pointer == away ]] || { echo "$usage" >&2; exit 2; }
export WINEDEBUG=-all
source "$(dirname "$0")/../../tests/support/desktop_checks.sh"
work=$(mktemp -d)
results=$work/results.tsv
run=0
cleanup() {
  pkill -P $$ 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# One line per thread: name, nanoseconds on the CPU, voluntary switches; the
# X server's threads are named X:THREAD.
snapshot() {  # snapshot [-x] PID...
  local task prefix=
  [[ $1 == -x ]] && { prefix=X:; shift; }
  for task in $(printf '/proc/%s/task/* ' "$@"); do
    printf '%s%s\t%s\t%s\n' "$prefix" "$(tr ' ' _ <"$task/comm")" "$(cut -d' ' -f1 "$task/schedstat")" \
      "$(awk '/^voluntary_ctxt_switches/{print $2}' "$task/status")"
  done 2>/dev/null
}

# Appends the threads' figures over the measured seconds to the results.
measure() {  # measure "PID..." LABEL RATE LOGGING
  # shellcheck disable=SC2086
  { snapshot $1; [[ -z $xserver ]] || snapshot -x "$xserver"; } >"$work/before"
  sleep "$seconds"
  # shellcheck disable=SC2086
  { snapshot $1; [[ -z $xserver ]] || snapshot -x "$xserver"; } >"$work/after"
  run=$((run + 1))
  awk -F'\t' -v run="$run" -v label="$2" -v rate="$3" -v logging="$4" -v s="$seconds" '
    NR == FNR { cpu[$1] -= $2; wakes[$1] -= $3; next }
    { cpu[$1] += $2; wakes[$1] += $3 }
    END { for (t in cpu) printf "%s\t%s\t%s\t%s\t%s\t%.3f\t%.1f\n", run, label, rate, logging, t, cpu[t] / s / 1e7, wakes[t] / s }
  ' "$work/before" "$work/after" >>"$results"
  # The resident memory of the measured processes, in kB.
  local pid rss=0
  for pid in $1; do rss=$((rss + $(awk '/^VmRSS/{print $2}' /proc/"$pid"/status))); done
  printf '%s\t%s\n' "$run" "$rss" >>"$work/memory.tsv"
}

# A Linux build logs beside the program, its folder being writable in a
# build; a Windows build runs from a folder of its own and logs there.
run_program() {  # run_program LABEL BUILD_DIR RATE LOGGING
  local home=$work/home-$1-$3-$4 log pids
  mkdir -p "$home"
  start_sim "$sim" "$work/sim.out" --rate "$3"
  if [[ -f $2/src/app/Pelorin.exe ]]; then
    cp "$2/src/app/Pelorin.exe" "$home/"
    log=$home/Pelorin.csv
    wine "$home/Pelorin.exe" >"$work/pelorin.out" 2>&1 &
  else
    log=$2/src/app/pelorin.csv
    rm -f "$log"
    HOME=$home "$2/src/app/pelorin" >"$work/pelorin.out" 2>&1 &
  fi
  wait_for_window Pelorin 30 || { echo "no window for $1" >&2; exit 1; }
  pids=$(xdotool getwindowpid "$window" 2>/dev/null || pgrep -n -f 'Pelorin.exe')
  # Without a window manager the keyboard goes to the window under the pointer.
  xdotool mousemove --window "$window" 40 40
  xdotool windowfocus --sync "$window" 2>/dev/null || true
  sleep 0.5
  # The focus starts on the LAN choice; Tab goes on to the address, the port
  # and the start button, then past the row names to the logging box.
  xdotool key --delay 60 Tab; xdotool type --delay 20 127.0.0.1
  xdotool key --delay 60 Tab; xdotool type --delay 20 "$sim_port"
  xdotool key --delay 60 Tab space
  sleep 1
  [[ $4 == on ]] && xdotool key --delay 60 Tab Tab Tab Tab Tab Tab space
  [[ $pointer == away ]] && xdotool mousemove 0 0
  sleep 2
  local measured=$pids
  [[ -f $2/src/app/Pelorin.exe ]] && measured="$pids $(pgrep -d' ' wineserver)"
  measure "$measured" "$1" "$3" "$4"
  if [[ $4 == on ]] && ! [[ -s $log ]]; then
    echo "$1 logged nothing at $3/s" >&2
    exit 1
  fi
  kill $pids "$sim_pid"
  wait "$sim_pid" 2>/dev/null || true
  while kill -0 $pids 2>/dev/null; do sleep 0.1; done
  rm -f "$log"
}

run_bare() {  # run_bare RATE
  start_sim "$sim" "$work/sim.out" --rate "$1"
  "$bare_receiver" "$sim_port" $((seconds + 3)) >/dev/null &
  local bare=$!
  sleep 1
  measure "$bare" bare "$1" off
  wait "$bare" || true
  kill "$sim_pid"
  wait "$sim_pid" 2>/dev/null || true
}

bare_receiver= sim=
xserver=$(pgrep -f "^Xvfb $DISPLAY( |\$)" | head -1 || true)
for build in "$@"; do
  folder=${build#*=}
  [[ -z $bare_receiver && -x $folder/bench/app/pelorin-bench-bare-receiver ]] &&
    bare_receiver=$folder/bench/app/pelorin-bench-bare-receiver
  [[ -z $sim && -x $folder/tools/gateway-sim/pelorin-gateway-sim ]] &&
    sim=$folder/tools/gateway-sim/pelorin-gateway-sim
done
[[ -n $bare_receiver && -n $sim ]] || { echo "no Linux build with the bare receiver" >&2; exit 2; }
for round in $(seq "$rounds"); do
  for rate in $rates; do
    run_bare "$rate"
    for logging in off on; do
      for build in "$@"; do
        run_program "${build%%=*}" "${build#*=}" "$rate" "$logging"
      done
    done
  done
  echo "round $round of $rounds done" >&2
done

python3 - "$results" "$work/memory.tsv" "$@" <<'EOF'
import collections, statistics, sys

rows = [line.rstrip("\n").split("\t") for line in open(sys.argv[1])]
memory = dict(line.split() for line in open(sys.argv[2]))
labels = [build.split("=", 1)[0] for build in sys.argv[3:]]

# Threads are grouped by name; a run's figure for a group is the sum over its threads.
def group(name):
    if name.startswith("X:"):
        return "X server"
    if name.startswith("pelorin-"):
        return name
    if name.startswith("wineserver"):
        return "wineserver"
    if name in ("pelorin", "Pelorin.exe"):
        return "window (main)"
    return "other"

def figure(values):
    m = statistics.median(values)
    return f"{m:.2f} ({min(values):.2f}-{max(values):.2f})"

# Each run's sums over its threads, by group and in all.
sums = collections.defaultdict(lambda: collections.defaultdict(lambda: [0.0, 0.0]))
keys = {}
for run, label, rate, logging, thread, cpu, wakes in rows:
    keys[run] = (label, rate, logging)
    name = group(thread)
    # The X server's share is given beside the program's total, not in it.
    for key in (name,) if name == "X server" else (name, "total"):
        sums[run][key][0] += float(cpu)
        sums[run][key][1] += float(wakes)
per_run = collections.defaultdict(list)
for run, key in keys.items():
    per_run[key].append(sums[run])

for rate in sorted({r[2] for r in rows}, key=int):
    bare = [run["total"][0] for run in per_run[("bare", rate, "off")]]
    print(f"\n{rate} reports/s: bare receiver {figure(bare)} % of a core")
    for logging in ("off", "on"):
        print(f"  logging {logging}:")
        for label in labels:
            runs_here = per_run[(label, rate, logging)]
            if not runs_here:
                continue
            names = sorted({name for run in runs_here for name in run if name != "total"})
            total = [run["total"][0] for run in runs_here]
            ratio = statistics.median(total) / statistics.median(bare) if bare and statistics.median(bare) > 0 else float("nan")
            rss = statistics.median(int(memory[run]) for run in keys if keys[run] == (label, rate, logging)) / 1024
            print(f"    {label}: {figure(total)} % of a core, {figure([run['total'][1] for run in runs_here])} wake-ups/s, {ratio:.1f} x bare, {rss:.0f} MB resident")
            for name in names:
                cpu = [run[name][0] for run in runs_here]
                wakes = [run[name][1] for run in runs_here]
                print(f"      {name:16} {figure(cpu)} %  {figure(wakes)} wake-ups/s")
EOF
