#!/usr/bin/env bash
# Lays a null-modem line between the Wine COM ports FIRST and SECOND (up), or
# takes it away (down): socat joins two raw pseudo terminals, and the links in
# the prefix's dosdevices folder name them COMn. Raw, so that Wine, which leaves
# line settings alone, passes every byte unchanged and at once.
set -euo pipefail
usage="usage: $0 up|down FIRST SECOND"
action=${1:?$usage} first=${2:?$usage} second=${3:?$usage}
devices="${WINEPREFIX:?WINEPREFIX must name the Wine prefix}/dosdevices"
pidfile="$devices/com$first-com$second.pid"

case $action in
  up)
    mkdir -p "$devices"
    rm -f "$devices/com$first" "$devices/com$second"
    setsid socat "pty,raw,echo=0,link=$devices/com$first" \
      "pty,raw,echo=0,link=$devices/com$second" </dev/null >/dev/null 2>&1 &
    echo $! >"$pidfile"
    for _ in $(seq 50); do
      [[ -e $devices/com$first && -e $devices/com$second ]] && exit 0
      sleep 0.1
    done
    echo "socat laid no COM pair" >&2
    exit 1
    ;;
  down)
    if [[ -f $pidfile ]]; then kill "$(cat "$pidfile")" 2>/dev/null || true; fi
    rm -f "$pidfile" "$devices/com$first" "$devices/com$second"
    ;;
  *)
    echo "$usage" >&2
    exit 2
    ;;
esac
