#include "logger_sink.h"

#include "local_time_of.h"

namespace pelorin::logger {

void LoggerSink::AppendRecord(const NodeReport& report) {
  reports_.fetch_add(1);
  // The broker's queue never waits, and keeps its own order across days.
  if (outlets_.publisher != nullptr) outlets_.publisher->Publish(report);
  if (!outlets_.log) return;
  {
    std::lock_guard lock(mutex_);
    if (holding_ || delivering_ || !held_.empty() || !OfLogDay(report)) {
      held_.push_back(report);
      return;
    }
  }
  Deliver(report);
}

void LoggerSink::SetNodeStatus(std::string_view text) {
  std::lock_guard lock(textMutex_);
  status_.assign(text);
}

void LoggerSink::SetReceiveTime(std::string_view text) {
  std::lock_guard lock(textMutex_);
  receiveTime_.assign(text);
}

bool LoggerSink::TakeView(RowValues::Snapshot* rows, std::string* status, std::string* time) {
  if (!viewChanged_.exchange(false)) return false;
  *rows = rows_.Read();
  std::lock_guard lock(textMutex_);
  *status = status_;
  *time = receiveTime_;
  return true;
}

void LoggerSink::Deliver(const NodeReport& report) {
  if (!log_.Append(report)) refused_.fetch_add(1);
}

int LoggerSink::DayOf(std::time_t when) {
  const std::tm& local = LocalTimeOf(when);
  return (local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
}

void LoggerSink::SetLogDay(int day) {
  std::lock_guard lock(mutex_);
  logDay_ = day;
}

bool LoggerSink::OfLogDay(const NodeReport& report) const {
  return !daily_ || DayOf(report.timestamp) == logDay_;
}

std::optional<int> LoggerSink::HeldDay() {
  std::lock_guard lock(mutex_);
  if (held_.empty()) return std::nullopt;
  return DayOf(held_.front().timestamp);
}

void LoggerSink::Hold() {
  std::lock_guard lock(mutex_);
  holding_ = true;
}

// Reports held meanwhile join the delivery, so that none overtakes another.
// A held report of yet another day stays held for the next turn.
void LoggerSink::DeliverHeld() {
  for (;;) {
    std::vector<NodeReport> batch;
    {
      std::lock_guard lock(mutex_);
      holding_ = false;
      size_t count = 0;
      while (count < held_.size() && OfLogDay(held_[count])) ++count;
      if (count == 0) {
        delivering_ = false;
        return;
      }
      batch.assign(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(count));
      held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(count));
      delivering_ = true;
    }
    for (const NodeReport& report : batch) Deliver(report);
  }
}

}  // namespace pelorin::logger
