#pragma once

#include <cstdint>

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
#else
using SocketHandle = int;
using SerialHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
inline constexpr SerialHandle kNoSerial = -1;
inline constexpr int32_t kSerialGoneError = EIO;
inline constexpr int32_t kConnectionLostError = EPIPE;
#endif

}  // namespace pelorin
