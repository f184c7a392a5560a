# What the logger's soak benchmarks share: a process's time on the CPU, read
# per thread from /proc/PID/task/*/schedstat (nanoseconds, where /proc/PID/stat
# counts in ticks of 10 ms, too coarse for a share of a tenth of a percent),
# and a Mosquitto broker of the run's own on a free loopback port. Sourced by
# bash scripts.

# One line per thread of PID: its name and its nanoseconds on the CPU.
threads_ns() {  # threads_ns PID
  local task
  for task in /proc/"$1"/task/*; do
    printf '%s\t%s\n' "$(tr ' ' _ <"$task/comm")" "$(cut -d' ' -f1 "$task/schedstat")"
  done 2>/dev/null
}

# The shares of one core, in percent, between two readings of threads_ns
# NANOSECONDS apart: one "THREAD<TAB>SHARE" line per thread appended to
# THREAD_FILE, and the whole process's share printed.
cpu_shares() {  # cpu_shares BEFORE AFTER NANOSECONDS THREAD_FILE
  awk -F'\t' -v ns="$3" -v each="$4" '
    NR == FNR { cpu[$1] -= $2; next }
    { cpu[$1] += $2 }
    END { for (t in cpu) { printf "%s\t%.3f\n", t, 100 * cpu[t] / ns >>each; all += cpu[t] }
          printf "%.3f\n", 100 * all / ns }
  ' "$1" "$2"
}

# "median M (LOW-HIGH) over N" of the numbers in FILE, one a line.
median_spread() {  # median_spread FILE
  sort -g "$1" | awk '{ v[NR] = $1 } END { if (NR) printf "median %.2f (%.2f-%.2f) over %d", v[int((NR + 1) / 2)], v[1], v[NR], NR }'
}

# "  thread NAME: median M (LOW-HIGH)" for each thread in a THREAD_FILE of
# cpu_shares.
thread_medians() {  # thread_medians THREAD_FILE
  sort -k1,1 -k2,2g "$1" | awk -F'\t' '
    function flush() { if (n) printf "  thread %s: median %.2f %% (%.2f-%.2f)\n", name, v[int((n + 1) / 2)], v[1], v[n] }
    $1 != name { flush(); name = $1; n = 0 }
    { v[++n] = $2 }
    END { flush() }'
}

# A broker on 127.0.0.1 for this run alone: its own configuration in DIR, no
# persistence, anonymous clients, no bound on what it queues for a slow
# subscriber (the run counts the logger's losses, not the broker's). As root
# it runs as nobody (a benchmark needs no privilege), so DIR is best a
# folder of its own from mktemp -d, which it opens to others. Sets
# broker_pid and broker_port; fails when no broker answered.
start_broker() {  # start_broker DIR
  local dir=$1 attempt
  local as_user=()
  if [[ $(id -u) -eq 0 ]]; then
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    chmod 755 "$dir"
  fi
  # A port free a moment ago may be taken before the broker binds it: then
  # the broker ends at once and another port is tried.
  for attempt in 1 2 3 4 5; do
    broker_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    printf '%s\n' "listener $broker_port 127.0.0.1" "allow_anonymous true" "persistence false" \
      "max_queued_messages 0" "log_dest stderr" "log_type error" "log_type warning" >"$dir/mosquitto.conf"
    chmod 644 "$dir/mosquitto.conf"
    "${as_user[@]}" mosquitto -c "$dir/mosquitto.conf" 2>"$dir/mosquitto.err" &
    broker_pid=$!
    for _ in $(seq 50); do
      mosquitto_sub -h 127.0.0.1 -p "$broker_port" -t ping -E -W 1 2>/dev/null && return 0
      kill -0 "$broker_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$broker_pid" 2>/dev/null || true
    wait "$broker_pid" 2>/dev/null || true
  done
  echo "no broker answered on 127.0.0.1; its last words:" >&2
  cat "$dir/mosquitto.err" >&2
  return 1
}
