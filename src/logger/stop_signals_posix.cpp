#include "stop_signals.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <thread>

namespace pelorin::logger {

// The signals are blocked in every thread (threads inherit the mask) and
// read from a signalfd by the watch's thread, so that the stop runs as
// ordinary code; an eventfd ends the thread.
struct StopSignals::Watch {
  int signals = -1;
  int end = -1;
  std::thread thread;
};

namespace {

void TakeSignals(int signals, int end, const std::function<void()>& onStop,
                 const std::function<void()>& onReopen) {
  pollfd waits[2] = {{signals, POLLIN, 0}, {end, POLLIN, 0}};
  for (;;) {
    if (poll(waits, 2, -1) < 0) continue;  // EINTR
    if (waits[1].revents != 0) return;
    signalfd_siginfo info{};
    if (read(signals, &info, sizeof info) != sizeof info) continue;
    if (info.ssi_signo == SIGHUP) {
      onReopen();
    } else {
      onStop();
    }
  }
}

}  // namespace

StopSignals::StopSignals(std::function<void()> onStop, std::function<void()> onReopen)
    : watch_(std::make_unique<Watch>()) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  watch_->signals = signalfd(-1, &set, SFD_CLOEXEC);
  watch_->end = eventfd(0, EFD_CLOEXEC);
  watch_->thread = std::thread(TakeSignals, watch_->signals, watch_->end, std::move(onStop),
                               std::move(onReopen));
}

// The signals stay blocked: one that comes now finds the program ending anyway.
StopSignals::~StopSignals() {
  const uint64_t one = 1;
  while (write(watch_->end, &one, sizeof one) < 0) {
  }
  watch_->thread.join();
  close(watch_->signals);
  close(watch_->end);
}

}  // namespace pelorin::logger
