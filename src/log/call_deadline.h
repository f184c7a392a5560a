#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

namespace pelorin {

// A deadline for the blocking system calls of the thread that made it. Once
// the deadline has passed, a call of that thread still waiting returns early
// (EINTR, or a write with the bytes it took so far), and so does every later
// one, until the deadline is cleared. A write to a pipe or a socket, or to a
// network share that lets signals in, then cannot hold the thread; a wait
// that the kernel lets no signal end (a failing local disk, a share mounted
// "hard" whose server has gone) still can.
//
// A signal, because poll() cannot help here: a regular file always counts as
// ready, and its write waits inside the kernel. The thread's own timer sends
// it a real-time signal whose handler does nothing and does not restart the
// call; after the deadline the signal repeats every 50 ms, so a call entered
// just after one signal still ends.
class CallDeadline {
 public:
  using Clock = std::chrono::steady_clock;

  CallDeadline();
  ~CallDeadline();
  CallDeadline(const CallDeadline&) = delete;
  CallDeadline& operator=(const CallDeadline&) = delete;

  // 0, or why the timer could not be made; Set and Clear then do nothing.
  int32_t Error() const { return error_; }

  void Set(Clock::time_point deadline);
  void Clear();

 private:
  struct Timer;  // the system's timer that ends the calls
  std::unique_ptr<Timer> timer_;
  int32_t error_ = 0;
};

}  // namespace pelorin
