#!/usr/bin/env bash
# Runs a command as on a minimal system whose C library has no character set
# converters: in a mount namespace of its own, an empty folder hides glibc's
# gconv modules. Exit 77 (skipped) where no such namespace can be made.
set -euo pipefail
[[ $# -ge 1 ]] || { echo "usage: $0 COMMAND [ARGUMENT...]" >&2; exit 2; }
unshare -rm true 2>/dev/null || { echo "no user and mount namespace here" >&2; exit 77; }
empty=$(mktemp -d)
trap 'rmdir "$empty"' EXIT
unshare -rm -- bash -c '
  empty=$1; shift
  for modules in /usr/lib/*/gconv /usr/lib64/gconv /usr/lib/gconv; do
    [[ -d $modules ]] && mount --bind "$empty" "$modules"
  done
  unset GCONV_PATH
  if printf "\xe3\x82\xa2" | iconv -f UTF-8 -t CP932 >/dev/null 2>&1; then
    echo "code page 932 is still converted: the converters are not hidden" >&2
    exit 1
  fi
  exec "$@"
' hide-converters "$empty" "$@"
