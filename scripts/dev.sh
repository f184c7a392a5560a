#!/usr/bin/env bash
# Installs what Pelorin needs on Debian 12 (with sudo when not root), builds it,
# and then runs the tests (`test`) or the program (`run`).
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libudev-dev fonts-ipafont-gothic xvfb xauth
)

install_missing() {
  local missing=() package
  for package in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$package")
  done
  ((${#missing[@]} == 0)) && return
  local sudo=()
  [[ $(id -u) -ne 0 ]] && sudo=(sudo)
  "${sudo[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q "${missing[@]}"
}

# CI builds treat warnings as errors.
preset=default
[[ -n ${CI:-} ]] && preset=ci

build() {
  cmake --preset "$preset"
  cmake --build --preset "$preset"
}

case "${1:-}" in
  test)
    install_missing
    build
    ctest --preset "$preset"
    ;;
  run)
    install_missing
    build
    exec "build/$preset/tools/gateway-sim/pelorin-gateway-sim"
    ;;
  *)
    echo "usage: $0 test|run" >&2
    exit 2
    ;;
esac
