#include "call_deadline.h"

#include <windows.h>

namespace pelorin {

// A timer of the system's timer queue that, once the deadline has passed,
// cancels the thread's waiting file call every 50 ms (CancelSynchronousIo);
// the call then fails with ERROR_OPERATION_ABORTED.
struct CallDeadline::Timer {
  HANDLE thread = nullptr;
  HANDLE timer = nullptr;

  static void CALLBACK Cancel(void* thread, BOOLEAN) { CancelSynchronousIo(static_cast<HANDLE>(thread)); }
};

CallDeadline::CallDeadline() : timer_(std::make_unique<Timer>()) {
  timer_->thread = OpenThread(THREAD_TERMINATE, FALSE, GetCurrentThreadId());
  if (timer_->thread == nullptr) error_ = static_cast<int32_t>(GetLastError());
}

CallDeadline::~CallDeadline() {
  Clear();
  if (timer_->thread != nullptr) CloseHandle(timer_->thread);
}

void CallDeadline::Set(Clock::time_point deadline) {
  if (error_ != 0) return;
  Clear();
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  const DWORD due = wait.count() > 0 ? static_cast<DWORD>(wait.count()) : 0;
  CreateTimerQueueTimer(&timer_->timer, nullptr, &Timer::Cancel, timer_->thread, due, 50,
                        WT_EXECUTEDEFAULT);
}

void CallDeadline::Clear() {
  if (timer_->timer == nullptr) return;
  // Waits for a cancel under way, so none reaches a later call.
  DeleteTimerQueueTimer(nullptr, timer_->timer, INVALID_HANDLE_VALUE);
  timer_->timer = nullptr;
}

}  // namespace pelorin
