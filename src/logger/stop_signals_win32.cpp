#include "stop_signals.h"

#include <windows.h>

#include <mutex>

namespace pelorin::logger {

// The system calls the handler on a thread of its own; the watch it calls is
// the one alive, under a lock that the destructor takes too.
struct StopSignals::Watch {
  std::function<void()> onStop;
  HANDLE ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

namespace {

std::mutex watchMutex;
StopSignals::Watch* watching = nullptr;

// How long a closing console, a logoff or a shutdown waits for the log to
// close; the system ends the process after its own time-out anyway.
constexpr DWORD kEndingWaitMs = 5000;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      break;
    default:
      return FALSE;
  }
  HANDLE ended = nullptr;
  {
    std::lock_guard lock(watchMutex);
    if (watching == nullptr) return TRUE;
    watching->onStop();
    ended = watching->ended;
  }
  // These end the process once the handler returns: wait here while the
  // program finishes its log and ends by itself.
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) WaitForSingleObject(ended, kEndingWaitMs);
  return TRUE;
}

}  // namespace

StopSignals::StopSignals(std::function<void()> onStop, std::function<void()>)
    : watch_(std::make_unique<Watch>()) {
  watch_->onStop = std::move(onStop);
  {
    std::lock_guard lock(watchMutex);
    watching = watch_.get();
  }
  SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

// The handle stays open: a handler that took it may still be waiting on it.
StopSignals::~StopSignals() {
  std::lock_guard lock(watchMutex);
  watching = nullptr;
  SetEvent(watch_->ended);
}

}  // namespace pelorin::logger
