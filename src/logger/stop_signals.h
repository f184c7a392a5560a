#pragma once

#include <functional>
#include <memory>

namespace pelorin::logger {

// Watches for the signals that ask the program to end, for as long as it
// lives: SIGINT or SIGTERM on Linux; Ctrl+C, Ctrl+Break, a closed console, a
// logoff or a shutdown on Windows. onStop is called on a thread of the
// watch's own; so is onReopen, for SIGHUP (the log rotation's "reopen your
// file"; Windows has no such signal). Neither is called once the destructor
// has returned, so they may refer to what outlives the watch.
//
// Make it before any other thread starts: threads inherit the signal mask.
class StopSignals {
 public:
  StopSignals(std::function<void()> onStop, std::function<void()> onReopen);
  // On Windows, a console that is closing (or a session that ends) kills
  // the process once the handler returns: the handler waits for this
  // destructor, which the program reaches when its log is closed.
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Each system's own; Windows' console handler reaches the live one.
  struct Watch;

 private:
  std::unique_ptr<Watch> watch_;
};

}  // namespace pelorin::logger
