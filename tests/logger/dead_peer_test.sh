#!/usr/bin/env bash
# A gateway that silently dies is found lost by TCP keep-alive: the logger,
# connected to a simulator that has gone quiet, keeps the connection while
# the gateway's system answers (a quiet network is not a dead one), and tells
# the loss within about 15 s of the moment every packet of the gateway is
# dropped, as after a pulled cable. nftables drops them, in a network
# namespace of the test's own; exit 77 (skipped) where none can be made.
#
# Usage: dead_peer_test.sh PELORIN_LOGGER GATEWAY_SIM
set -uo pipefail
logger=$1 sim=$2

if [[ ${PELORIN_OWN_NETWORK:-} != 1 ]]; then
  command -v nft >/dev/null || { echo "nft is missing: no packet can be dropped" >&2; exit 77; }
  namespace=(unshare -n)
  [[ $(id -u) -ne 0 ]] && namespace=(unshare -rn)
  "${namespace[@]}" true 2>/dev/null ||
    { echo "no network namespace can be made here" >&2; exit 77; }
  PELORIN_OWN_NETWORK=1 exec "${namespace[@]}" -- "$0" "$@"
fi
ip link set lo up
if ! nft add table inet pelorin 2>/dev/null ||
   ! nft add chain inet pelorin out '{ type filter hook output priority 0; }' 2>/dev/null; then
  echo "nftables cannot filter here" >&2
  exit 77
fi

work=$(mktemp -d)
pids=()
cleanup() {
  kill "${pids[@]}" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The gateway answers the start command with two reports, then nothing.
"$sim" --tcp 127.0.0.1:0 --rate 50 --count 2 >"$work/sim.out" &
pids+=($!)
for _ in $(seq 100); do
  port=$(sed -n 's/^listening on 127.0.0.1://p' "$work/sim.out")
  [[ -n $port ]] && break
  sleep 0.05
done
[[ -n $port ]] || { echo "the simulator did not start" >&2; exit 1; }
"$logger" --tcp "127.0.0.1:$port" --csv "$work/log.csv" --silence 3600 \
  2>"$work/events" &
pids+=($!)

# Waits up to SECONDS for an event line holding TEXT.
said() {  # said TEXT SECONDS
  local deadline=$((SECONDS + $2))
  while ((SECONDS < deadline)); do
    grep -q -- "$1" "$work/events" && return 0
    sleep 0.1
  done
  return 1
}

failed=0
said "start command answered" 20 || { echo "no session"; cat "$work/events"; exit 1; }
# Quiet past the keep-alive's idle time and more: its questions are answered.
sleep 8
if grep -q "gateway lost" "$work/events"; then
  echo "FAIL: a quiet gateway was taken for a lost one"
  failed=1
fi
nft add rule inet pelorin out tcp dport "$port" drop
nft add rule inet pelorin out tcp sport "$port" drop
dropped=$(date +%s%N)
if said "gateway lost" 40; then
  lost=$(date +%s%N)
  elapsed_ms=$(((lost - dropped) / 1000000))
  echo "lost ${elapsed_ms} ms after the gateway's packets were dropped"
  grep "gateway lost" "$work/events"
  # The last answered question came at most the idle time before the drop.
  if ((elapsed_ms > 20000)); then
    echo "FAIL: found lost only after ${elapsed_ms} ms"
    failed=1
  fi
else
  echo "FAIL: the dead gateway was never found lost"
  failed=1
fi
cat "$work/events"
exit "$failed"
