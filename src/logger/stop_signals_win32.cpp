#include "stop_signals.h"

#include <windows.h>

namespace pelorin::logger {

namespace {

std::function<void()> stopHandler;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  stopHandler();
  // A closed console ends the process once this returns: wait here while
  // the program finishes its log and ends by itself.
  if (event == CTRL_CLOSE_EVENT) Sleep(5000);
  return TRUE;
}

}  // namespace

// The system calls the handler on a thread of its own.
void WatchStopSignals(std::function<void()> onStop) {
  stopHandler = std::move(onStop);
  SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

}  // namespace pelorin::logger
