#!/usr/bin/env bash
# The .deb as a user gets it: lintian finds no error and no warning, the
# AppStream validator (which also finds the desktop entry the metadata
# launches) and desktop-file-validate no error and no hint; apt installs it
# with its dependencies, Qt's Japanese texts among them; the installed pelorin
# opens its window, which desktops match to its menu entry, shows the
# installed simulator's reports over loopback and logs them in the user's
# home; closing the window ends it; the logger's unit is valid and hardened;
# the installed pelorin-logger, run as its service would be (its own system
# user, its options from a file), logs the simulator's reports until SIGTERM;
# removing the package leaves none of its files.
#
# Usage: deb_test.sh PACKAGE.deb SCREENSHOT_DIR
# Needs a display (xvfb-run), and root or sudo for apt.
set -uo pipefail
deb=$(realpath "$1") shots=$2
mkdir -p "$shots"
source "$(dirname "$0")/../support/desktop_checks.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)
apt_get() {
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get -y -q "$@" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; return 1; }
}

check "lintian finds no error and no warning" lintian --fail-on error,warning "$deb"
dpkg-deb -x "$deb" "$work/root"
check "the AppStream data is valid" appstreamcli validate-tree --no-net "$work/root"
entry=$(echo "$work/root"/usr/share/applications/*.desktop)
validated() { local said; said=$(desktop-file-validate "$entry") && [[ -z $said ]] || { echo "$said"; return 1; }; }
check "the desktop entry is valid, without a hint" validated

dpkg-query -W pelorin >/dev/null 2>&1 && apt_get purge pelorin
check "apt installs the package" apt_get install "$deb"
[[ $(dpkg-query -W -f='${Status}' pelorin 2>/dev/null) == "install ok installed" ]] ||
  { failed=$((failed + 1)); finish_checks; exit 1; }
dpkg-query -W -f='${Depends}\n' pelorin
check "the package depends on Qt's Japanese texts" \
  bash -c "dpkg-query -W -f='\${Depends}' pelorin | grep -qw qt6-translations-l10n"
check "the package depends on the MQTT client library, and holds the messages' schema" \
  bash -c "dpkg-query -W -f='\${Depends}' pelorin | grep -qw libmosquitto1 &&
           python3 -m json.tool /usr/share/doc/pelorin/report.schema.json >/dev/null"

# A window under Xvfb has no window manager: its pixels are all there is. The
# fixed report lights the third row's indicator in pure red, a colour nothing
# else in the window has.
red_pixels() { convert "$1" -format %c histogram:info:- | awk '/#FF0000 /{n = $1} END{print n + 0}'; }
painted() { (($(identify -format %k "$1") > 16 && $(red_pixels "$1") == 0)); }
receiving() {
  for _ in $(seq 25); do
    import -window root "$shots/receiving.png"
    (($(red_pixels "$shots/receiving.png") > 100)) && return 0
    sleep 0.2
  done
  return 1
}

start_sim /usr/bin/pelorin-gateway-sim "$work/sim.out" --rate 50 --fixed-report
HOME=$work /usr/bin/pelorin >"$work/pelorin.out" 2>&1 &
app=$!
check "the installed pelorin opens its window" wait_for_window Pelorin 10
if [[ -n $window ]]; then
  xdotool windowfocus --sync "$window"
  # WM_CLASS(STRING) = "instance", "class": the entry names the class.
  wm_class=$(xprop -id "$window" WM_CLASS | sed -n 's/.*, "\(.*\)"$/\1/p')
  check "the desktop entry names the window's class ($wm_class)" \
    grep -qx "StartupWMClass=$wm_class" "$entry"
  sleep 0.5  # until the whole window has been painted
  import -window root "$shots/start.png"
  check "the window is painted, its indicators empty" painted "$shots/start.png"
  # The focus starts on the LAN choice; Tab goes on to the address, the port
  # and the start button.
  xdotool key --delay 60 Tab; xdotool type --delay 40 127.0.0.1
  xdotool key --delay 60 Tab; xdotool type --delay 40 "$sim_port"
  xdotool key --delay 60 Tab space
  check "the simulator's reports reach the window" receiving
  # Past the row names to the logging box: the log starts in the user's home,
  # the program's own folder being no place to write.
  xdotool key --delay 60 Tab Tab Tab Tab Tab Tab space
  logged() { for _ in $(seq 30); do grep -aqs KT-200 "$work/pelorin.csv" && return 0; sleep 0.1; done; return 1; }
  check "reports reach the log in the user's home" logged
  xdotool key Escape
  check "closing the window ends the program" process_ends "$app" 5
fi
kill "$app" 2>/dev/null

unit=/lib/systemd/system/pelorin-logger@.service
unit_verified() { local said; said=$(systemd-analyze verify "pelorin-logger@lab.service" 2>&1) && [[ -z $said ]] || { echo "$said"; return 1; }; }
check "the logger's service unit is installed and valid" unit_verified
# Read from the unit file alone: no running systemd is needed.
exposure() { (cd / && systemd-analyze security --offline=true "$@" pelorin-logger@lab.service 2>&1); }
score=$(exposure | sed -n 's/.*Overall exposure level for .*: \([0-9.]*\) .*/\1/p')
hardened() { exposure --threshold=20 >/dev/null || { exposure | grep -E '✗|Overall'; return 1; }; }
check "the logger's service unit is hardened: exposure ${score:-unknown}, at most 2.0" hardened
system_user() { [[ $(getent passwd pelorin-logger | cut -d: -f3) -lt 1000 && " $(id -nG pelorin-logger) " == *" dialout "* ]]; }
check "the package made the logger's system user, in the dialout group" system_user
# As the service runs it: in a folder of the user's own, with the options
# from a file; the names with a space come through the file's quotes.
chmod 755 "$work"
mkdir "$work/state"
"${sudo[@]}" chown pelorin-logger: "$work/state"
printf '# the test gateway\ntcp=127.0.0.1:%s\ncsv=logger.csv\nnames="温度 1,湿度,,電圧,電流"\n' "$sim_port" >"$work/logger.options"
(cd "$work/state" && exec "${sudo[@]}" setpriv --reuid=pelorin-logger --regid=pelorin-logger --groups=dialout \
  /usr/bin/pelorin-logger --config "$work/logger.options" 2>"$work/logger.err") &
logger=$!
sleep 3
kill -TERM "$logger"
logger_stopped() { process_ends "$logger" 3 && wait "$logger"; }
check "SIGTERM stops the logger within 3 s, with status 0" logger_stopped
decoded=$(sed -n 's/.* stopped; \([0-9]*\) reports decoded, \1 written, 0 not written$/\1/p' "$work/logger.err")
logged_all() {
  [[ $(head -1 "$work/state/logger.csv" | iconv -f SHIFT_JIS -t UTF-8) == *"温度 1"* ]] &&
    (($(grep -ac KT-200 "$work/state/logger.csv") == decoded && decoded > 0)) ||
    { cat "$work/logger.err"; return 1; }
}
check "the logger's file holds each of its ${decoded:-0} reports, under the names' header" logged_all
kill "$sim_pid" 2>/dev/null
wait "$sim_pid" 2>/dev/null

dpkg-query -L pelorin >"$work/files"
check "apt removes the package" apt_get remove --purge pelorin
left_behind() {
  local path
  while read -r path; do
    [[ -e $path ]] || continue
    # A folder stays where other packages still have files.
    [[ -d $path ]] && dpkg-query -S "$path" >/dev/null 2>&1 && continue
    echo "$path"
  done <"$work/files"
}
left=$(left_behind)
[[ -n $left ]] && echo "left behind: $left"
check "no file of the package is left" test -z "$left"

finish_checks
