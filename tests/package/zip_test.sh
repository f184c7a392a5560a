#!/usr/bin/env bash
# The Windows zip as a user gets it: unpacked into an empty folder, its
# pelorin.exe starts in a fresh Wine prefix with nothing else beside it, opens
# its window with caption Pelorin, and closing the window ends the process;
# the simulator beside it runs too.
#
# Usage: zip_test.sh PACKAGE.zip WORK_DIR
# WORK_DIR is made anew: the unpacked zip and the Wine prefix. Needs a display
# (xvfb-run).
set -uo pipefail
zip=$1 work=$2
passed=0 failed=0
check() {  # check NAME COMMAND...
  if "${@:2}"; then passed=$((passed + 1)); echo "ok   $1"; else failed=$((failed + 1)); echo "FAIL $1"; fi
}
rm -rf "$work"
mkdir -p "$work/unpacked"
export WINEDEBUG=-all WINEPREFIX
WINEPREFIX=$(realpath "$work")/wineprefix
mkdir -p "$WINEPREFIX"
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
wineboot -i 2>/dev/null

check "the zip unpacks" unzip -q "$zip" -d "$work/unpacked"
sim_help() { wine "$work/unpacked/pelorin-gateway-sim.exe" --help 2>/dev/null | grep -q '^Usage: pelorin-gateway-sim'; }
check "the simulator beside it runs" sim_help
wine "$work/unpacked/pelorin.exe" >/dev/null 2>&1 &
app=$!
window=""
for _ in $(seq 150); do
  window=$(xdotool search --onlyvisible --name '^Pelorin$' 2>/dev/null | head -1)
  [[ -n $window ]] && break
  sleep 0.2
done
check "pelorin.exe opens its window with caption Pelorin" test -n "$window"
if [[ -n $window ]]; then
  xdotool windowfocus --sync "$window"
  xdotool key Escape
fi
ended=false
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || { ended=true; break; }; sleep 0.2; done
check "closing the window ends the process" $ended
kill "$app" 2>/dev/null

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
