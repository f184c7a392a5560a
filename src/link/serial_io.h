#pragma once

#include "descriptor_wait.h"
#include "link_platform.h"

#include <cstddef>
#include <cstdint>

namespace pelorin {

class SerialPortRegistry;

// Opens serial port COM`comPort` for exclusive use, so that all 256 byte values
// pass unchanged (8 data bits, no parity, one stop bit, no flow control); the
// line speed becomes speed, or with 0 stays as the system has it. On Linux the
// registry gives the device node of the number; on Windows the number names
// the device itself ("\\.\COMn"). writeMsPerByte is the per-byte part of the
// write time-out. 0 or the platform's error number (EINVAL or
// ERROR_INVALID_PARAMETER for a speed the device does not take).
int32_t OpenSerialPort(const SerialPortRegistry& ports, int32_t comPort, int32_t speed,
                       int writeMsPerByte, SerialHandle* port);

// Writes every byte, giving up after timeoutMs. 0 or the error number; on a
// failure, cutShort says whether the port may have taken the first bytes but
// not the last (as when the driver kept a write it was told to give up).
int32_t WriteSerial(SerialHandle port, const uint8_t* bytes, size_t length, int timeoutMs,
                    bool* cutShort);

// Bytes in the port's input queue. 0, or the error of the failed query with
// the count 0.
int32_t SerialBytesWaiting(SerialHandle port, int* count);

// Reads up to capacity bytes that have already arrived. Returns the count, or
// the negated error number; 0 means that the device reports an end of input
// (it has gone); nothing there yet is -NoData.
long ReadSerialWaiting(SerialHandle port, uint8_t* buffer, size_t capacity);

// Waits up to timeoutMs for input on the port, or for the wake event.
InputReadiness WaitForSerialInput(SerialHandle port, const WakeEvent& wake, int timeoutMs);

void CloseSerialDevice(SerialHandle& port);

}  // namespace pelorin
