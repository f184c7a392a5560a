#!/usr/bin/env bash
# Runs a command with Wine's screen scale at DPI (96 is 100 %), then puts the
# prefix's scale back as it was. Wine takes the scale from the prefix's
# registry when a program starts.
#
# Usage: at_dpi.sh DPI WINE COMMAND...
set -uo pipefail
dpi=$1 wine=$2
key='HKCU\Control Panel\Desktop'
before=$("$wine" reg query "$key" /v LogPixels 2>/dev/null | tr -d '\r' | awk '/LogPixels/{print $3}')
"$wine" reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
PELORIN_TEST_DPI=$dpi "${@:3}"
status=$?
if [[ -n $before ]]; then
  "$wine" reg add "$key" /v LogPixels /t REG_DWORD /d "$((before))" /f >/dev/null 2>&1
else
  "$wine" reg delete "$key" /v LogPixels /f >/dev/null 2>&1
fi
exit "$status"
