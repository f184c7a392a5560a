#pragma once

#include "descriptor_wait.h"

#include <cstdint>

namespace pelorin {

// What the Linux socket and serial files share: both are file descriptors.

// Waits up to timeoutMs for input on fd, or for the wake event (poll).
InputReadiness WaitForDescriptor(int fd, const WakeEvent& wake, int timeoutMs);

// Bytes that can be read from a socket or tty without waiting (FIONREAD).
// Returns 0 or the errno of the failed query.
int32_t DescriptorBytesWaiting(int fd, int* count);

// Closes fd if it is open and marks it closed (-1).
void CloseDescriptor(int& fd);

// The calling thread's errno, never 0 (so a failure always has a reason).
int32_t LastErrno();

}  // namespace pelorin
