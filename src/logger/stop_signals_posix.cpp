#include "stop_signals.h"

#include <pthread.h>
#include <signal.h>

#include <thread>

namespace pelorin::logger {

// The signals are blocked in every thread (threads inherit the mask) and
// taken by one thread with sigwait, so that the stop runs as ordinary code.
void WatchStopSignals(std::function<void()> onStop) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([signals, onStop = std::move(onStop)] {
    int signal = 0;
    while (sigwait(&signals, &signal) != 0) {
    }
    onStop();
  }).detach();
}

}  // namespace pelorin::logger
