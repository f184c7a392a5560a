#!/usr/bin/env bash
# Runs a command with PELORIN_FUSE_MOUNT naming the mount point of a FUSE file
# system (a fusepy script that takes its mount point as its one argument),
# mounted for the run and taken away after it. Exit 77 (skipped) where none
# can be mounted.
set -euo pipefail
[[ $# -ge 2 ]] || { echo "usage: $0 FS_SCRIPT COMMAND [ARGUMENT...]" >&2; exit 2; }
fs=$1
shift
if [[ ! -w /dev/fuse ]]; then
  echo "/dev/fuse is missing: no FUSE file system can be mounted here" >&2
  exit 77
fi
if ! /usr/bin/python3 -c 'import fusepy' 2>/dev/null; then
  echo "python3-fusepy is missing: the file system cannot run" >&2
  exit 77
fi
share=$(mktemp -d)
/usr/bin/python3 "$fs" "$share" &
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
  echo "the file system did not mount" >&2
  exit 1
fi
PELORIN_FUSE_MOUNT=$share "$@"
