#include "stop_signals.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace pelorin::logger {

struct StopSignals::Watch {
  std::function<void()> onStop;
};

namespace {

// The system calls the handler on a thread of its own. It finds the live
// watch's onStop here, under the lock that the watch's destructor takes too;
// `ends` counts the watches that have ended, so that a handler knows when
// the one it stopped is gone. Never destroyed: a handler may still be waiting
// on it while the process exits.
struct Watching {
  std::mutex mutex;
  std::condition_variable ended;
  const std::function<void()>* onStop = nullptr;
  unsigned ends = 0;
  bool handling = false;
};

Watching& TheWatching() {
  static Watching& watching = *new Watching;
  return watching;
}

// A closing console, a logoff or a shutdown ends the process once the
// handler returns, and in any case after about 5 s. The handler waits for the
// watch's end, which comes once the log is closed, and then for the program
// to end by itself, with its own status and the console put back.
constexpr auto kLogClosedWait = std::chrono::milliseconds(4000);
constexpr DWORD kOwnExitWaitMs = 500;

// In session 0 (the Task Scheduler's tasks, services) a logoff is always
// another user's: a logger started there goes on logging.
bool LogoffEndsThisProcess() {
  DWORD session = 0;
  return !ProcessIdToSessionId(GetCurrentProcessId(), &session) || session != 0;
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  const bool ending =
      event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
  if (!ending && event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  if (event == CTRL_LOGOFF_EVENT && !LogoffEndsThisProcess()) return TRUE;
  Watching& watching = TheWatching();
  {
    std::unique_lock lock(watching.mutex);
    if (watching.onStop != nullptr) {
      (*watching.onStop)();
      const unsigned ends = watching.ends;
      if (ending) {
        watching.ended.wait_for(lock, kLogClosedWait, [&] { return watching.ends != ends; });
      }
    }
  }
  if (ending) Sleep(kOwnExitWaitMs);
  return TRUE;
}

}  // namespace

// Windows has no signal that asks for the log to be reopened.
StopSignals::StopSignals(std::function<void()> onStop, std::function<void()>)
    : watch_(std::make_unique<Watch>()) {
  watch_->onStop = std::move(onStop);
  Watching& watching = TheWatching();
  std::lock_guard lock(watching.mutex);
  watching.onStop = &watch_->onStop;
  // The handler stays for good: between the watch's end and the process's,
  // Ctrl+C is taken and does nothing, and the program ends with its own status.
  if (!watching.handling) watching.handling = SetConsoleCtrlHandler(&OnConsoleEvent, TRUE) != FALSE;
}

StopSignals::~StopSignals() {
  Watching& watching = TheWatching();
  std::lock_guard lock(watching.mutex);
  watching.onStop = nullptr;
  ++watching.ends;
  watching.ended.notify_all();
}

}  // namespace pelorin::logger
