#!/usr/bin/env bash
# The arm64 .deb beside the amd64 one it is made from the same sources as:
# lintian finds no error and no warning; it holds the same files; its programs
# are arm64 ones, and pelorin-logger loads no Qt library, so that it starts on
# a Pi without a display; it depends on the libraries it links and on Qt's
# Wayland plugin, for the Pi's desktop; and its logger, run under qemu from
# the unpacked package, logs the simulator's reports over loopback.
#
# Usage: arm64_deb_test.sh ARM64.deb AMD64.deb SIMULATOR
# SIMULATOR is any pelorin-gateway-sim the build machine runs.
set -uo pipefail
deb=$(realpath "$1") native=$(realpath "$2") sim=$3
source "$(dirname "$0")/../support/desktop_checks.sh"
work=$(mktemp -d)
trap 'kill "${sim_pid:-}" 2>/dev/null; rm -rf "$work"' EXIT

check "lintian finds no error and no warning" lintian --fail-on error,warning "$deb"
check "it is an arm64 package" bash -c "[[ \$(dpkg-deb -f '$deb' Architecture) == arm64 ]]"
files() { dpkg-deb -c "$1" | awk '{print $6}' | sort; }
check "it holds the same files as the amd64 package" diff <(files "$native") <(files "$deb")
dpkg-deb -x "$deb" "$work/root"
bin=$work/root/usr/bin
arm64_programs() {
  local program
  for program in "$bin"/*; do file -b "$program" | grep -q 'ARM aarch64' || return 1; done
}
check "its programs are arm64 programs" arm64_programs
check "pelorin-logger loads no Qt library" \
  bash -c "! readelf -d '$bin/pelorin-logger' | grep -q 'NEEDED.*Qt'"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
depends_on() { local package; for package; do grep -qw "$package" <<<"$depends" || return 1; done; }
check "it depends on Qt, libmosquitto, and Qt's Wayland plugin" \
  depends_on libqt6widgets6 libmosquitto1 libsystemd0 qt6-wayland

start_sim "$sim" "$work/sim.txt" --rate 20 --count 40
logged() {
  qemu-aarch64-static "$bin/pelorin-logger" --tcp "127.0.0.1:$sim_port" --csv "$work/log.csv" \
    --quiet >"$work/logger.txt" 2>&1 &
  local logger=$! _
  for _ in $(seq 100); do
    (($(cat "$work/log.csv" 2>/dev/null | wc -l) >= 41)) && break
    sleep 0.2
  done
  kill -TERM "$logger"
  wait "$logger"
  (($(wc -l <"$work/log.csv") == 41)) || { cat "$work/logger.txt"; return 1; }
}
check "its logger, under qemu, logs the simulator's 40 reports" logged
finish_checks
