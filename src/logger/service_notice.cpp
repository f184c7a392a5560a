#include "service_notice.h"

namespace pelorin::logger {

namespace {

using namespace std::chrono_literals;

std::string Ago(std::chrono::steady_clock::duration age) {
  const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(age).count();
  if (minutes < 1) return "less than a minute ago";
  if (minutes < 120) return std::to_string(minutes) + " min ago";
  if (minutes < 48 * 60) return std::to_string(minutes / 60) + " h ago";
  return std::to_string(minutes / (24 * 60)) + " days ago";
}

}  // namespace

ServiceNotice::ServiceNotice(std::string gateway)
    : gateway_(std::move(gateway)),
      listening_(ServiceManagerListens()),
      watchdog_(listening_ ? ServiceWatchdogInterval() : 0us),
      state_("reaching the gateway at " + gateway_) {}

void ServiceNotice::Ready() {
  if (!listening_) return;
  const Clock::time_point now = Clock::now();
  sentStatus_ = Status(0, now);
  SendServiceNotice("READY=1\nSTATUS=" + sentStatus_);
  nextStatus_ = now + 1s;
  nextFeed_ = now + watchdog_ / 2;
}

void ServiceNotice::Tick(uint64_t reports) {
  if (!listening_) return;
  const Clock::time_point now = Clock::now();
  if (watchdog_.count() > 0 && now >= nextFeed_) {
    SendServiceNotice("WATCHDOG=1");
    nextFeed_ = now + watchdog_ / 2;
  }
  if (now < nextStatus_) return;
  nextStatus_ = now + 1s;
  std::string status = Status(reports, now);
  if (status == sentStatus_) return;
  sentStatus_ = std::move(status);
  SendServiceNotice("STATUS=" + sentStatus_);
}

void ServiceNotice::Stopping() {
  if (listening_) SendServiceNotice("STOPPING=1\nSTATUS=stopping");
}

void ServiceNotice::Connected() {
  std::lock_guard lock(mutex_);
  state_ = "logging the gateway at " + gateway_;
}

void ServiceNotice::NotReached(const std::string& why) {
  std::lock_guard lock(mutex_);
  state_ = "cannot reach the gateway at " + gateway_ + " (" + why + ")";
}

void ServiceNotice::Lost(const std::string& why) {
  std::lock_guard lock(mutex_);
  state_ = "reconnecting to the gateway at " + gateway_;
  lastLoss_ = why;
  lostAt_ = Clock::now();
}

std::string ServiceNotice::Status(uint64_t reports, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  std::string status = state_ + "; " + std::to_string(reports) + " reports";
  if (!lastLoss_.empty()) status += "; last loss " + Ago(now - lostAt_) + ": " + lastLoss_;
  return status;
}

}  // namespace pelorin::logger
