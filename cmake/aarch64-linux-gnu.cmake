# Linux arm64 executables (a Raspberry Pi with a 64-bit OS) built on an amd64
# Debian with its cross compiler and the arm64 libraries of its multiarch,
# and run under qemu's user-mode emulation.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Multiarch: arm64 libraries and their CMake and pkg-config files live under
# /usr/lib/aarch64-linux-gnu, beside the host's; the headers are shared.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# pkg-config reads the arm64 .pc files only (Debian 12 has no cross pkg-config
# without installing one per architecture).
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)

# Qt's code generators (moc, rcc, uic) are the build machine's own.
set(QT_HOST_PATH /usr CACHE PATH "The build machine's Qt")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "The build machine's Qt CMake files")

# The arm64 loader and libraries are the multiarch ones: no sysroot needed.
find_program(PELORIN_QEMU qemu-aarch64-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PELORIN_QEMU})
