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
# Windows tells a program that loads user32 (shell32, ole32 and gdi32 load it
# too) of a logoff or a shutdown by window messages, never by its console.
no_window_libraries() {
  ! x86_64-w64-mingw32-objdump -p "$exe" | grep -qiE 'DLL Name: (user32|gdi32|shell32|ole32)\.dll'
}
check "it loads no window library, so that logoffs and shutdowns reach it" no_window_libraries

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
decoded=$(sed -n 's/.* stopped; \([0-9]*\) reports decoded, \1 written, 0 not written\r\?$/\1/p' "$work/err.txt")
logged_all() {
  [[ $(head -1 "$work/ログ.csv" | iconv -f SHIFT_JIS -t UTF-8) == *",温度 1,,湿度,,,,電圧,,電流,"* ]] &&
    (($(grep -ac KT-200 "$work/ログ.csv") == decoded && decoded > 0)) || { cat "$work/err.txt"; return 1; }
}
check "its file holds each of its ${decoded:-0} reports, under the names' header" logged_all
kill "$sim_pid" 2>/dev/null
wait "$sim_pid" 2>/dev/null

# On a terminal Wine gives the program a console, whose code page is the
# Japanese one: the system's Japanese words for the refused connection still
# arrive unchanged (the console wraps long lines).
on_console() {  # on_console SECONDS TEXT COMMAND... : the terminal's output
  python3 -c '
import os, pty, select, signal, sys, time
pid, fd = pty.fork()
if pid == 0:
    os.execvp(sys.argv[3], sys.argv[3:])
out, end = b"", time.time() + float(sys.argv[1])
while time.time() < end and sys.argv[2].encode() not in out.replace(b"\r", b"").replace(b"\n", b""):
    if select.select([fd], [], [], 0.2)[0]:
        try:
            out += os.read(fd, 4096)
        except OSError:
            break
os.kill(pid, signal.SIGINT)
os.waitpid(pid, 0)
sys.stdout.buffer.write(out)' "$@"
}
console_japanese() {
  LANG=ja_JP.UTF-8 on_console 20 接続は拒否されました wine "$exe" --tcp "127.0.0.1:$sim_port" \
    --csv "Z:${work//\//\\}\\console.csv" >"$work/console.txt"
  tr -d '\r\n' <"$work/console.txt" | grep -q 接続は拒否されました || { cat -v "$work/console.txt"; return 1; }
}
check "a console shows the system's Japanese words unchanged" console_japanese

finish_checks
