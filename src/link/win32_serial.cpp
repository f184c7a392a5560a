#include "serial_io.h"

#include "link_error.h"

#include <windows.h>

#include <cstdio>

namespace pelorin {

namespace {

HANDLE Native(SerialHandle port) { return reinterpret_cast<HANDLE>(port); }

int32_t LastSystemError() {
  const DWORD error = GetLastError();
  return error != 0 ? static_cast<int32_t>(error) : ERROR_GEN_FAILURE;
}

}  // namespace

// COMn names the device itself: Windows keeps the numbers, so the registry
// that Linux needs for them has no part here.
int32_t OpenSerialPort([[maybe_unused]] const SerialPortRegistry& ports, int32_t comPort,
                       int writeMsPerByte, SerialHandle* port) {
  char name[32];
  std::snprintf(name, sizeof name, "\\\\.\\COM%d", comPort);
  const HANDLE handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  *port = reinterpret_cast<SerialHandle>(handle);
  if (handle == INVALID_HANDLE_VALUE) return LastSystemError();
  // Reads take only queued bytes, so of these only the write time-out ever
  // takes effect.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = 50;
  timeouts.ReadTotalTimeoutMultiplier = static_cast<DWORD>(writeMsPerByte);
  timeouts.ReadTotalTimeoutConstant = 1000;
  timeouts.WriteTotalTimeoutMultiplier = static_cast<DWORD>(writeMsPerByte);
  timeouts.WriteTotalTimeoutConstant = 1000;
  SetCommTimeouts(handle, &timeouts);
  return 0;
}

// The port's write time-out, set when it was opened, bounds the write.
int32_t WriteSerial(SerialHandle port, const uint8_t* bytes, size_t length,
                    [[maybe_unused]] int timeoutMs) {
  DWORD written = 0;
  if (!WriteFile(Native(port), bytes, static_cast<DWORD>(length), &written, nullptr)) {
    return LastSystemError();
  }
  return written == length ? 0 : static_cast<int32_t>(ERROR_TIMEOUT);
}

// ClearCommError also clears the line-error flags, which the link ignores.
int32_t SerialBytesWaiting(SerialHandle port, int* count) {
  *count = 0;
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(Native(port), &errors, &status)) return LastSystemError();
  *count = static_cast<int>(status.cbInQue);
  return 0;
}

long ReadSerialWaiting(SerialHandle port, uint8_t* buffer, size_t capacity) {
  DWORD read = 0;
  if (!ReadFile(Native(port), buffer, static_cast<DWORD>(capacity), &read, nullptr)) {
    return -LastSystemError();
  }
  // Counted bytes that a read still does not return: try again later.
  return read != 0 ? static_cast<long>(read) : -LinkError::NoData;
}

// A port opened for synchronous use cannot be waited on together with the
// wake event: the thread sleeps until the next look, or until it is woken.
InputReadiness WaitForSerialInput([[maybe_unused]] SerialHandle port, const WakeEvent& wake,
                                  int timeoutMs) {
  return WaitForWake(wake, timeoutMs);
}

void CloseSerialDevice(SerialHandle& port) {
  if (port != kNoSerial) CloseHandle(Native(port));
  port = kNoSerial;
}

bool IsSerialDeviceGone(int32_t error) {
  return error == ERROR_BAD_COMMAND || error == ERROR_ACCESS_DENIED ||
         error == ERROR_OPERATION_ABORTED || error == ERROR_DEVICE_NOT_CONNECTED;
}

}  // namespace pelorin
