#pragma once

#include <cstdint>

namespace pelorin {

// A wake-up that other threads give a thread waiting in WaitForInput, so that a
// close or a send does not have to sit out the waiter's time-out (an eventfd).
class WakeEvent {
 public:
  WakeEvent();
  ~WakeEvent();
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;

  void Signal() const;
  void Drain() const;
  int fd() const { return fd_; }

 private:
  int fd_;
};

enum class InputReadiness {
  Readable,  // bytes can be read
  TimedOut,
  Woken,     // the WakeEvent was signalled
  HangUp,    // the peer or device has gone or failed (POLLHUP, POLLERR,
             // POLLNVAL); bytes received before may still be waiting
  Failed,
};

// Waits up to timeoutMs for input on fd, or for the wake event. With fd < 0 it
// waits for the wake event alone.
InputReadiness WaitForInput(int fd, const WakeEvent& wake, int timeoutMs);

// Bytes that can be read from a socket or tty without waiting (FIONREAD).
// Returns 0 or the errno of the failed query.
int32_t BytesWaiting(int fd, int* count);

// Closes fd if it is open and marks it closed (-1).
void CloseDescriptor(int& fd);

// The calling thread's errno, never 0 (so a failure always has a reason).
int32_t LastErrno();

}  // namespace pelorin
