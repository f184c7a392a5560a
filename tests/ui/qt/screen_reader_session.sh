#!/usr/bin/env bash
# The real pelorin read through AT-SPI on a private session bus and display
# (see screen_reader_session.py). Skipped (77) with the reason when the
# accessibility bus or its Python binding is missing.
#
# Usage: screen_reader_session.sh PELORIN GATEWAY_SIM DUMP_FILE
set -uo pipefail
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "skipped: python3-pyatspi is not installed"; exit 77; }
for program in dbus-run-session dbus-send dbus-monitor gsettings xvfb-run /usr/libexec/at-spi-bus-launcher; do
  command -v "$program" >/dev/null || { echo "skipped: $program is missing"; exit 77; }
done
# The desktop's settings (dconf) live in a home of the test's own.
export QT_QPA_PLATFORM=xcb HOME XDG_RUNTIME_DIR
HOME=$(mktemp -d)
XDG_RUNTIME_DIR=$HOME/run
mkdir -m 700 "$XDG_RUNTIME_DIR"
trap 'rm -rf "$HOME"' EXIT
xvfb-run -a dbus-run-session -- timeout 120 /usr/bin/python3 "$(dirname "$0")/screen_reader_session.py" "$@"
