# What the scripts that drive a real window share: counted checks, the
# simulator on a free loopback port, a window found by its caption, a process
# that ends. Sourced by bash scripts.

passed=0 failed=0
check() {  # check NAME COMMAND...
  if "${@:2}"; then passed=$((passed + 1)); echo "ok   $1"; else failed=$((failed + 1)); echo "FAIL $1"; fi
}
# The summary line; true when every check passed.
finish_checks() {
  echo "$passed passed, $failed failed"
  [[ $failed -eq 0 ]]
}

start_sim() {  # start_sim SIM OUTPUT_FILE ARGS... : sets sim_pid and sim_port
  local sim=$1 output=$2
  "$sim" --tcp 127.0.0.1:0 "${@:3}" >"$output" 2>&1 &
  sim_pid=$!
  for _ in $(seq 50); do
    sim_port=$(sed -n 's/^listening on 127.0.0.1:\([0-9]*\)$/\1/p' "$output")
    [[ -n $sim_port ]] && return 0
    sleep 0.1
  done
  return 1
}

wait_for_window() {  # wait_for_window CAPTION SECONDS : sets window
  window=""
  for _ in $(seq $(($2 * 10))); do
    window=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
    [[ -n $window ]] && return 0
    sleep 0.1
  done
  return 1
}

process_ends() {  # process_ends PID SECONDS
  for _ in $(seq $(($2 * 10))); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
  return 1
}
