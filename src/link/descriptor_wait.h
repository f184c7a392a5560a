#pragma once

#include <cstdint>

namespace pelorin {

// A wake-up that other threads give a thread waiting for input, so that a close
// or a send does not have to sit out the waiter's time-out (an eventfd on
// Linux, an event object on Windows).
class WakeEvent {
 public:
  WakeEvent();
  ~WakeEvent();
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;

  void Signal() const;
  void Drain() const;
  std::intptr_t native() const { return native_; }

 private:
  std::intptr_t native_;
};

enum class InputReadiness {
  Readable,  // bytes can be read
  TimedOut,
  Woken,     // the WakeEvent was signalled
  HangUp,    // the peer or device has gone or failed; bytes received before
             // may still be waiting
  Failed,
};

// Waits up to timeoutMs for the wake event alone.
InputReadiness WaitForWake(const WakeEvent& wake, int timeoutMs);

}  // namespace pelorin
