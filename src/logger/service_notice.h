#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace pelorin::logger {

// What a service manager that started the logger and listens for it is
// told: that the logger is doing its job, that its run is alive (for the
// manager's watchdog), a line of status, and that it is stopping. Without
// such a manager (and on Windows) nothing is sent.
class ServiceNotice {
 public:
  explicit ServiceNotice(std::string gateway);

  // Once the first session is being tried: a gateway that is away must not
  // make the service's start fail.
  void Ready();
  // From the run's loop, a few times a second: the watchdog is fed at half
  // its interval, and a status that changed is sent at most once a second.
  void Tick(uint64_t reports);
  void Stopping();

  // From the session's thread.
  void Connected();
  void NotReached(const std::string& why);
  void Lost(const std::string& why);

 private:
  using Clock = std::chrono::steady_clock;
  std::string Status(uint64_t reports, Clock::time_point now);

  const std::string gateway_;
  const bool listening_;
  const std::chrono::microseconds watchdog_;
  Clock::time_point nextFeed_;
  Clock::time_point nextStatus_;
  std::string sentStatus_;

  std::mutex mutex_;  // the gateway's state, from the session's thread
  std::string state_;
  std::string lastLoss_;
  Clock::time_point lostAt_;
};

// The operating system's side, one file per system.
// Whether a service manager listens for notices.
bool ServiceManagerListens();
// The interval within which the manager's watchdog wants to hear from this
// process; zero without a watchdog.
std::chrono::microseconds ServiceWatchdogInterval();
// Newline-separated assignments, as "READY=1".
void SendServiceNotice(const std::string& assignments);

}  // namespace pelorin::logger
