#pragma once

#include <cstdint>

namespace pelorin {

// A wake-up that other threads give a thread waiting for input, so that a close
// or a send does not have to sit out the waiter's time-out (an eventfd on
// Linux, an event object on Windows).
class WakeEvent {
 public:
  WakeEvent() { Create(); }
  ~WakeEvent();
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;

  // Makes the event unless it exists: an event that could not be made when
  // its owner was (no descriptor to spare) is tried again. 0 or the system's
  // error number.
  int32_t Create();
  void Signal() const;
  void Drain() const;
  std::intptr_t native() const { return native_; }

 private:
  std::intptr_t native_ = kNone;
#if defined(_WIN32)
  static constexpr std::intptr_t kNone = 0;
#else
  static constexpr std::intptr_t kNone = -1;
#endif
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
