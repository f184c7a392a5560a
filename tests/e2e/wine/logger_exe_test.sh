#!/usr/bin/env bash
# pelorin-logger.exe under Wine against the Linux gateway simulator over
# loopback: it tells its version from its own version information, opens a
# session over TCP, and Ctrl+C (which Wine raises from SIGINT) stops it with
# status 0 and every decoded report in its file. With a Japanese code page,
# a Japanese file name on the command line, and an options file as Notepad
# saves it (byte order mark, CR LF) in a folder with a Japanese name, whose
# row names make the header, reach it unchanged.
#
# Usage: logger_exe_test.sh PELORIN_LOGGER_EXE GATEWAY_SIM
# Needs WINEPREFIX set to a prepared prefix.
set -uo pipefail
exe=$1 sim=$2
source "$(dirname "$0")/../../support/desktop_checks.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

version() { [[ $(wine "$exe" --version 2>/dev/null | tr -d '\r') == "Version 1.01" ]]; }
check "pelorin-logger.exe --version says Version 1.01" version

start_sim "$sim" "$work/sim.out" --rate 50 --fixed-report || { check "simulator" false; finish_checks; exit 1; }
mkdir "$work/設定"
printf '\xEF\xBB\xBFtcp=127.0.0.1:%s\r\nnames="温度 1,湿度,,電圧,電流"\r\n' "$sim_port" >"$work/設定/logger.conf"
LANG=ja_JP.UTF-8 wine "$exe" --config "Z:${work//\//\\}\\設定\\logger.conf" --csv "Z:${work//\//\\}\\ログ.csv" \
  >"$work/out.txt" 2>"$work/err.txt" &
logger=$!
answered() {
  for _ in $(seq 100); do grep -q 'start command answered' "$work/err.txt" && return 0; sleep 0.1; done
  cat "$work/err.txt"
  return 1
}
check "a session opens and the start command is answered" answered
sleep 2
kill -INT "$logger"
stopped() { process_ends "$logger" 5 && wait "$logger"; }
check "Ctrl+C stops it within 5 s, with status 0" stopped
decoded=$(sed -n 's/.* stopped; \([0-9]*\) reports decoded\r\?$/\1/p' "$work/err.txt")
logged_all() {
  [[ $(head -1 "$work/ログ.csv" | iconv -f SHIFT_JIS -t UTF-8) == *",温度 1,,湿度,,,,電圧,,電流,"* ]] &&
    (($(grep -ac KT-200 "$work/ログ.csv") == decoded && decoded > 0)) || { cat "$work/err.txt"; return 1; }
}
check "its file holds each of its ${decoded:-0} reports, under the names' header" logged_all
kill "$sim_pid" 2>/dev/null
wait "$sim_pid" 2>/dev/null

finish_checks
