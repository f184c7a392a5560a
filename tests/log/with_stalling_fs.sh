#!/usr/bin/env bash
# Runs a command with PELORIN_STALLING_SHARE naming the mount point of a FUSE
# file system whose writes never return (stalling_fs.py), mounted for the run
# and taken away after it. Exit 77 (skipped) where none can be mounted.
set -euo pipefail
[[ $# -ge 1 ]] || { echo "usage: $0 COMMAND [ARGUMENT...]" >&2; exit 2; }
if [[ ! -w /dev/fuse ]]; then
  echo "/dev/fuse is missing: no FUSE file system can be mounted here" >&2
  exit 77
fi
if ! /usr/bin/python3 -c 'import fusepy' 2>/dev/null; then
  echo "python3-fusepy is missing: the stalling file system cannot run" >&2
  exit 77
fi
share=$(mktemp -d)
/usr/bin/python3 "$(dirname "$0")/stalling_fs.py" "$share" &
daemon=$!
cleanup() {
  kill -9 "$daemon" 2>/dev/null || true
  wait "$daemon" 2>/dev/null || true
  umount -l "$share" 2>/dev/null || true
  rmdir "$share"
}
trap cleanup EXIT
for _ in $(seq 100); do
  grep -q " $share fuse" /proc/mounts && break
  sleep 0.05
done
if ! grep -q " $share fuse" /proc/mounts; then
  echo "the stalling file system did not mount" >&2
  exit 1
fi
PELORIN_STALLING_SHARE=$share "$@"
