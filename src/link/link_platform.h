#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>

#if !defined(_WIN32)
#include <cerrno>
#endif

namespace pelorin {

// The platform's handles for the link's socket and serial port, and the error
// numbers that the link logic itself acts on. Everything else about a platform
// stays in its own *_socket.cpp, *_serial.cpp and *_wait.cpp.
#if defined(_WIN32)
using SocketHandle = std::uintptr_t;  // a Winsock SOCKET
using SerialHandle = std::intptr_t;   // a HANDLE, kept as a number
inline constexpr SocketHandle kNoSocket = ~SocketHandle{0};  // INVALID_SOCKET
inline constexpr SerialHandle kNoSerial = -1;                // INVALID_HANDLE_VALUE
// A serial device that no longer accepts requests (ERROR_BAD_COMMAND).
inline constexpr int32_t kSerialGoneError = 22;
// The peer has dropped the connection (WSAECONNRESET).
inline constexpr int32_t kConnectionLostError = 10054;
// What USB serial drivers give for a pulled adapter: ERROR_BAD_COMMAND,
// ERROR_ACCESS_DENIED, ERROR_OPERATION_ABORTED, ERROR_DEVICE_NOT_CONNECTED,
// ERROR_GEN_FAILURE (CH340 and CDC devices), ERROR_DEVICE_REMOVED and
// ERROR_NO_SUCH_DEVICE.
inline constexpr int32_t kSerialDeviceGoneErrors[] = {22, 5, 995, 1167, 31, 1617, 433};
#else
using SocketHandle = int;
using SerialHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
inline constexpr SerialHandle kNoSerial = -1;
inline constexpr int32_t kSerialGoneError = EIO;
inline constexpr int32_t kConnectionLostError = EPIPE;
// A pulled USB adapter, a closed pty master.
inline constexpr int32_t kSerialDeviceGoneErrors[] = {EIO, ENXIO, ENODEV};
#endif

// True for the errors of a serial device that no longer accepts requests: the
// link then closes the port and opens it again.
inline bool IsSerialDeviceGone(int32_t error) {
  return std::ranges::find(kSerialDeviceGoneErrors, error) != std::end(kSerialDeviceGoneErrors);
}

}  // namespace pelorin
