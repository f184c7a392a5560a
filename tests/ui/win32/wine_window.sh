#!/usr/bin/env bash
# Runs a Windows program that makes windows under Wine, its output passed on
# through a file. The desktop process that Wine starts for the first window
# inherits the program's output and outlives the program by some seconds:
# through a pipe, it would hold up whoever reads to the output's end (CTest).
#
# Usage: wine_window.sh WINE PROGRAM ARGS...
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$@" >"$out" 2>&1
status=$?
cat "$out"
exit "$status"
