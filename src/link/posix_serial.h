#pragma once

#include <cstddef>
#include <cstdint>

namespace pelorin {

// Opens a serial device node for exclusive use (TIOCEXCL and an exclusive
// flock), non-blocking, in raw mode so that all 256 byte values pass unchanged;
// the line speed stays as the system has it. 0 or errno.
int32_t OpenSerialDevice(const char* deviceNode, int* fd);

// Writes every byte, giving up after timeoutMs. 0 or errno (ETIMEDOUT).
int32_t WriteSerial(int fd, const uint8_t* bytes, size_t length, int timeoutMs);

// Reads up to capacity bytes that have already arrived. Returns the count, or
// -errno; 0 means that the device reports an end of input (it has gone).
long ReadSerialWaiting(int fd, uint8_t* buffer, size_t capacity);

void CloseSerialDevice(int& fd);

// True for the errors of a serial device that no longer accepts requests
// (a pulled USB adapter, a closed pty master).
bool IsSerialDeviceGone(int32_t error);

}  // namespace pelorin
