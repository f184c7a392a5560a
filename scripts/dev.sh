#!/usr/bin/env bash
# Installs what Pelorin needs on Debian 12 (with sudo when not root), builds it,
# and then runs the tests (`test`), the program (`run`), the Windows build's
# tests under Wine (`windows`), or the arm64 build's under qemu (`arm64`); or
# makes the .deb and the Windows zip (`package`), or the arm64 .deb
# (`package arm64`), in build/package.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-translations-l10n libudev-dev fonts-ipafont-gothic xvfb xauth iproute2
  g++-mingw-w64-x86-64-posix wine wine64 googletest socat locales xdotool imagemagick
  dpkg-dev file lintian appstream desktop-file-utils unzip librsvg2-bin icoutils x11-utils
  python3-fusepy libcli11-dev nftables libsystemd-dev systemd
  nlohmann-json3-dev python3-jsonschema libmosquitto-dev mosquitto mosquitto-clients openssl
  at-spi2-core dbus python3-pyatspi libglib2.0-bin gsettings-desktop-schemas dconf-gsettings-backend
)

# The arm64 build: Debian's cross compiler, the arm64 libraries beside the
# host's (multiarch), and qemu to run its programs without binfmt_misc.
ARM64_PACKAGES=(
  crossbuild-essential-arm64 qemu-user-static
  qt6-base-dev:arm64 libudev-dev:arm64 libsystemd-dev:arm64 libmosquitto-dev:arm64
  libgtest-dev:arm64 libgmock-dev:arm64
)

install_missing() {  # install_missing [PACKAGE...]: those given, or PACKAGES
  local missing=() package wanted=("$@")
  ((${#wanted[@]} > 0)) || wanted=("${PACKAGES[@]}")
  for package in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$package")
  done
  ((${#missing[@]} == 0)) && return
  local sudo=()
  [[ $(id -u) -ne 0 ]] && sudo=(sudo)
  "${sudo[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q "${missing[@]}"
}

install_arm64() {
  install_missing
  if ! dpkg --print-foreign-architectures | grep -qx arm64; then
    local sudo=()
    [[ $(id -u) -ne 0 ]] && sudo=(sudo)
    "${sudo[@]}" dpkg --add-architecture arm64
  fi
  install_missing "${ARM64_PACKAGES[@]}"
}

# Wine takes the Windows code page from the locale: ja_JP.UTF-8 gives the
# Japanese one (932), as on a Japanese Windows.
japanese_locale() {
  locale -a | grep -qix 'ja_JP.utf8' && return
  local sudo=()
  [[ $(id -u) -ne 0 ]] && sudo=(sudo)
  "${sudo[@]}" sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  "${sudo[@]}" locale-gen
}

# CI builds treat warnings as errors.
preset=default
[[ -n ${CI:-} ]] && preset=ci

build() {  # build [TARGET...]: everything, or only the targets named
  cmake --preset "$preset"
  cmake --build --preset "$preset" ${1:+--target "$@"}
}

case "${1:-}" in
  test)
    install_missing
    build
    ctest --preset "$preset"
    ;;
  run)
    install_missing
    build pelorin pelorin-gateway-sim
    if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
      echo "No display found. Run the window on a virtual one with:" >&2
      echo "  xvfb-run -a scripts/dev.sh run" >&2
      exit 1
    fi
    # A simulated gateway to connect to at once: LAN, 127.0.0.1, port 10003.
    "build/$preset/tools/gateway-sim/pelorin-gateway-sim" --tcp 127.0.0.1:10003 >/dev/null &
    sim=$!
    trap 'kill "$sim" 2>/dev/null || true' EXIT
    "build/$preset/src/app/pelorin"
    ;;
  windows)
    install_missing
    cmake --preset windows
    cmake --build --preset windows
    # A fresh Wine prefix for every run, made before the tests so that none of
    # them pays for it; the test preset points Wine at the same one. One Wine
    # server serves the whole run, its own notes kept in a file: it dumps its
    # state when a COM port's pseudo terminal goes away.
    export WINEDEBUG=-all WINEPREFIX="$PWD/build/windows/wineprefix"
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineserver -p >/dev/null 2>"$WINEPREFIX/wineserver.log"
    trap 'wineserver -k 2>/dev/null || true' EXIT
    wineboot -i
    # The tests' windows are made without a display, on Wine's null driver.
    # A desktop keeps the driver (and the screen size) it was made with: the
    # server starts again without it.
    wine_graphics() {  # wine_graphics null|default
      local drivers='HKCU\Software\Wine\Drivers'
      if [[ $1 == null ]]; then
        wine reg add "$drivers" /v Graphics /d null /f
      else
        wine reg delete "$drivers" /v Graphics /f
      fi
      wineserver -k
      wineserver -w
      wineserver -p >/dev/null 2>>"$WINEPREFIX/wineserver.log"
    }
    wine_graphics null
    # The prefix's services start here rather than in a test, whose output
    # they would hold open.
    wineboot
    if ! ctest --preset windows; then
      # A Wine server that aborts leaves every program it served waiting for
      # ever: its last words say why.
      grep -a '^wineserver' "$WINEPREFIX/wineserver.log" >&2 || true
      exit 1
    fi
    wine_graphics default
    # Pelorin.exe and pelorin-logger.exe themselves, against the Linux simulator.
    japanese_locale
    cmake --preset "$preset"
    cmake --build --preset "$preset" --target pelorin-gateway-sim
    xvfb-run -a -s "-screen 0 1600x1200x24" tests/e2e/wine/pelorin_exe_test.sh \
      build/windows/src/app/Pelorin.exe "build/$preset/tools/gateway-sim/pelorin-gateway-sim" \
      build/windows/screenshots
    tests/e2e/wine/logger_exe_test.sh build/windows/src/logger/pelorin-logger.exe \
      "build/$preset/tools/gateway-sim/pelorin-gateway-sim"
    ;;
  arm64)
    install_arm64
    cmake --preset arm64
    cmake --build --preset arm64
    ctest --preset arm64
    ;;
  package)
    # Installing makes the packages' folders under the umask: 755, as Debian's.
    umask 022
    if [[ ${2:-} == arm64 ]]; then
      install_arm64
      rm -f build/package/pelorin_*_arm64.deb
      # dpkg-shlibdeps finds the arm64 libraries by the package's architecture.
      DEB_HOST_ARCH=arm64 DEB_HOST_MULTIARCH=aarch64-linux-gnu DEB_HOST_GNU_TYPE=aarch64-linux-gnu \
        cmake --workflow --preset package-arm64
      exit
    fi
    install_missing
    rm -f build/package/pelorin_*_amd64.deb build/package/pelorin-*.zip
    cmake --workflow --preset package
    cmake --workflow --preset package-windows
    ;;
  *)
    echo "usage: $0 test|run|windows|arm64|package [arm64]" >&2
    exit 2
    ;;
esac
