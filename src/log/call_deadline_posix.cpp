#include "call_deadline.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <mutex>
#include <unistd.h>

namespace pelorin {

namespace {

// The program uses no other real-time signal.
int WakeSignal() { return SIGRTMIN + 1; }

void Wake(int) {}

// The handler is process-wide; it is installed once, before the first timer.
int32_t InstallWakeHandler() {
  static const int32_t error = [] {
    struct sigaction action {};
    action.sa_handler = Wake;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: the call returns instead of going on waiting
    return sigaction(WakeSignal(), &action, nullptr) == 0 ? 0 : errno;
  }();
  return error;
}

}  // namespace

struct CallDeadline::Timer {
  timer_t id{};
};

CallDeadline::CallDeadline() : timer_(std::make_unique<Timer>()), error_(InstallWakeHandler()) {
  if (error_ != 0) return;
  sigevent event{};
  event.sigev_notify = SIGEV_THREAD_ID;
  event.sigev_signo = WakeSignal();
  event._sigev_un._tid = gettid();
  if (timer_create(CLOCK_MONOTONIC, &event, &timer_->id) != 0) error_ = errno;
}

CallDeadline::~CallDeadline() {
  if (error_ == 0) timer_delete(timer_->id);
}

// timer_settime fails only for a timer that does not exist or a time out of
// range, neither of which can be here.
void CallDeadline::Set(Clock::time_point deadline) {
  if (error_ != 0) return;
  // steady_clock is CLOCK_MONOTONIC.
  const auto since = deadline.time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
  const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds);
  itimerspec timing{};
  timing.it_interval.tv_nsec = 50'000'000;
  timing.it_value.tv_sec = static_cast<time_t>(seconds.count());
  timing.it_value.tv_nsec = static_cast<long>(nanoseconds.count());
  timer_settime(timer_->id, TIMER_ABSTIME, &timing, nullptr);
}

void CallDeadline::Clear() {
  if (error_ != 0) return;
  const itimerspec off{};
  timer_settime(timer_->id, 0, &off, nullptr);
}

}  // namespace pelorin
