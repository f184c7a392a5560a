#!/usr/bin/env bash
# Pelorin.exe end to end under Wine on a virtual display, against the Linux
# gateway simulator over loopback: the window opens with its caption, a
# session over TCP reaches the simulator's reports (seen in the CSV log it
# writes) and again after the gateway was killed and started anew, a silent
# gateway gives the time-out message under the program's name, and closing
# the window ends the process. Run once with a Japanese and
# once with a Western code page; then the window at 150 % and 200 %, for the
# screenshots.
#
# Usage: pelorin_exe_test.sh PELORIN_EXE GATEWAY_SIM SCREENSHOT_DIR
# Needs WINEPREFIX set to a prepared prefix, and a display (xvfb-run).
set -uo pipefail
exe=$1 sim=$2 shots=$3
mkdir -p "$shots"
source "$(dirname "$0")/../../support/desktop_checks.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$exe" "$work/Pelorin.exe"

# The message box (caption "Pelorin", the program's name) is the second
# window with that name.
windows_named_pelorin() { xdotool search --onlyvisible --name '^Pelorin$' 2>/dev/null | wc -l; }
wait_for_message_box() {
  for _ in $(seq 100); do
    (($(windows_named_pelorin) >= 2)) && return 0
    sleep 0.2
  done
  return 1
}

# Without a window manager the keyboard goes to the window under the pointer.
focus_window() {
  xdotool mousemove --window "$window" 40 40
  xdotool windowactivate --sync "$window" >/dev/null 2>&1
}

# Types into the focused control, then moves on; the dialog starts with the
# focus on the LAN radio button and Tab follows the template's order.
keys() { xdotool key --delay 60 "$@"; }

session() {  # session LANG LABEL
  local lang=$1 label=$2
  rm -f "$work/Pelorin.csv"
  start_sim "$sim" "$work/sim.out" --rate 20 --fixed-report || { check "$label: simulator" false; return; }
  LANG=$lang wine "$work/Pelorin.exe" >/dev/null 2>&1 &
  local app=$!
  check "$label: the window opens with caption Pelorin" wait_for_window Pelorin 30
  [[ -z $window ]] && { kill "$app" "$sim_pid"; return; }
  focus_window
  sleep 0.5  # until the whole window has been painted
  import -window root "$shots/$label-start.png"
  width_at_96=$(window_width)
  keys Tab; xdotool type --delay 40 "127.0.0.1"
  keys Tab; xdotool type --delay 40 "$sim_port"
  keys Tab space              # the start button
  sleep 2
  keys Tab Tab Tab Tab Tab Tab space  # past the row names to the logging box
  sleep 3
  import -window root "$shots/$label-receiving.png"
  check "$label: reports reach the log" grep -aq "KT-200" "$work/Pelorin.csv"
  check "$label: the log is Shift-JIS" bash -c "head -c 5 '$work/Pelorin.csv' | od -An -tx1 | grep -q '93 fa 95 74 2c'"
  # The gateway goes away and comes back on its port: the window says so, and
  # reaches it again by itself, logging on into the same file.
  kill "$sim_pid"
  wait "$sim_pid" 2>/dev/null
  sleep 2
  import -window root "$shots/$label-lost.png"
  local records
  records=$(grep -ac KT-200 "$work/Pelorin.csv")
  "$sim" --tcp "127.0.0.1:$sim_port" --rate 20 --fixed-report >"$work/sim.out" 2>&1 &
  sim_pid=$!
  check "$label: reports resume once the gateway is back" records_grow "$records" 20
  import -window root "$shots/$label-back.png"
  keys Escape
  check "$label: closing the window ends the process" process_ends "$app" 10
  kill "$app" "$sim_pid" 2>/dev/null
  wait "$sim_pid" 2>/dev/null
}

silent() {  # silent LANG LABEL
  local lang=$1 label=$2
  start_sim "$sim" "$work/sim.out" --fault silent || { check "$label: simulator" false; return; }
  LANG=$lang wine "$work/Pelorin.exe" >/dev/null 2>&1 &
  local app=$!
  wait_for_window Pelorin 30 || { check "$label: window" false; kill "$app" "$sim_pid"; return; }
  focus_window
  keys Tab; xdotool type --delay 40 "127.0.0.1"
  keys Tab; xdotool type --delay 40 "$sim_port"
  keys Tab space
  check "$label: a silent gateway gives the time-out message" wait_for_message_box
  sleep 0.5
  import -window root "$shots/$label-message.png"
  local box
  box=$(xdotool search --onlyvisible --name '^Pelorin$' | grep -vx "$window" | head -1)
  check "$label: the message box's caption is the program's name" test "$(xdotool getwindowname "$box")" = Pelorin
  # A click on OK, which sits at the bottom in the middle of the box.
  eval "$(xdotool getwindowgeometry --shell "$box")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 17))
  for _ in 1 2 3; do  # the first click may only make the box the active window
    sleep 0.3
    xdotool mousedown 1; sleep 0.1; xdotool mouseup 1
    sleep 0.3
    (($(windows_named_pelorin) == 1)) && break
  done
  sleep 0.5
  check "$label: the message box closes with OK" test "$(windows_named_pelorin)" -eq 1
  focus_window
  keys Escape
  process_ends "$app" 10
  kill "$app" "$sim_pid" 2>/dev/null
  wait "$sim_pid" 2>/dev/null
}

records_grow() {  # records_grow COUNT SECONDS: the log gets more than COUNT records
  for _ in $(seq $(($2 * 10))); do
    (($(grep -ac KT-200 "$work/Pelorin.csv") > $1)) && return 0
    sleep 0.1
  done
  return 1
}

window_width() { xdotool getwindowgeometry --shell "$window" | sed -n 's/^WIDTH=//p'; }
# At 200 % the fonts are twice as large, and so is the whole window, give or
# take the rounding of dialog units to pixels. (At 150 % a font's average
# width rounds to whole pixels, so the window grows by a little more.)
twice_as_wide() {  # twice_as_wide WIDTH
  local expected=$((width_at_96 * 2))
  ((${1:-0} >= expected * 98 / 100 && ${1:-0} <= expected * 102 / 100)) ||
    { echo "width $1, expected about $expected"; return 1; }
}

# The screen's scale comes from the prefix's registry when a program starts.
at_scale() {  # at_scale DPI
  local dpi=$1 key='HKCU\Control Panel\Desktop'
  wine reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  LANG=ja_JP.UTF-8 wine "$work/Pelorin.exe" >/dev/null 2>&1 &
  local app=$!
  check "at $dpi dpi: the window opens" wait_for_window Pelorin 30
  if [[ -n $window ]]; then
    focus_window
    sleep 0.5
    import -window root "$shots/dpi-$dpi.png"
    ((dpi == 192)) && check "at 192 dpi: the whole window is twice as wide" twice_as_wide "$(window_width)"
    keys Escape
  fi
  process_ends "$app" 10 || kill "$app" 2>/dev/null
  wine reg delete "$key" /v LogPixels /f >/dev/null 2>&1
}

session ja_JP.UTF-8 japanese
silent ja_JP.UTF-8 japanese
session C.UTF-8 western
at_scale 144
at_scale 192
wineserver -k 2>/dev/null
finish_checks
