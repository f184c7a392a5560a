#!/usr/bin/env bash
# The Windows zip as a user gets it: unpacked into an empty folder, its
# Pelorin.exe (the name its version information records) starts in a fresh
# Wine prefix with nothing else beside it, opens its window with caption
# Pelorin, and closing the window ends the process; the simulator beside it
# runs too, and so does the logger.
#
# Usage: zip_test.sh PACKAGE.zip WORK_DIR
# WORK_DIR is made anew: the unpacked zip and the Wine prefix. Needs a display
# (xvfb-run).
set -uo pipefail
zip=$1 work=$2
source "$(dirname "$0")/../support/desktop_checks.sh"
rm -rf "$work"
mkdir -p "$work/unpacked"
export WINEDEBUG=-all WINEPREFIX
WINEPREFIX=$(realpath "$work")/wineprefix
mkdir -p "$WINEPREFIX"
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
wineboot -i 2>/dev/null

check "the zip unpacks" unzip -q "$zip" -d "$work/unpacked"
check "the program is Pelorin.exe" test -f "$work/unpacked/Pelorin.exe"
sim_help() { wine "$work/unpacked/pelorin-gateway-sim.exe" --help 2>/dev/null | grep -q '^Usage: pelorin-gateway-sim'; }
check "the simulator beside it runs" sim_help
logger_version() { [[ $(wine "$work/unpacked/pelorin-logger.exe" --version 2>/dev/null | tr -d '\r') == "Version 1.01" ]]; }
check "pelorin-logger.exe beside it tells its version" logger_version
wine "$work/unpacked/Pelorin.exe" >/dev/null 2>&1 &
app=$!
check "Pelorin.exe opens its window with caption Pelorin" wait_for_window Pelorin 30
if [[ -n $window ]]; then
  xdotool windowfocus --sync "$window"
  xdotool key Escape
fi
check "closing the window ends the process" process_ends "$app" 10
kill "$app" 2>/dev/null

finish_checks
