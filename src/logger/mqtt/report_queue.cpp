#include "report_queue.h"

#include <algorithm>

namespace pelorin::mqtt {

void ReportQueue::Put(const NodeReport& report) {
  std::lock_guard lock(mutex_);
  reports_.push_back(report);
  if (reports_.size() > bound_) {
    reports_.pop_front();
    ++counts_.notPublished;
  }
}

void ReportQueue::Take(size_t count, std::vector<NodeReport>* taken) {
  taken->clear();
  std::lock_guard lock(mutex_);
  count = std::min(count, reports_.size());
  taken->assign(reports_.begin(), reports_.begin() + static_cast<std::ptrdiff_t>(count));
  reports_.erase(reports_.begin(), reports_.begin() + static_cast<std::ptrdiff_t>(count));
}

void ReportQueue::PutBack(std::vector<NodeReport>& reports, size_t from) {
  std::lock_guard lock(mutex_);
  reports_.insert(reports_.begin(), reports.begin() + static_cast<std::ptrdiff_t>(from), reports.end());
  while (reports_.size() > bound_) {
    reports_.pop_front();
    ++counts_.notPublished;
  }
}

bool ReportQueue::Empty() {
  std::lock_guard lock(mutex_);
  return reports_.empty();
}

void ReportQueue::CountPublished(uint64_t count) {
  std::lock_guard lock(mutex_);
  counts_.published += count;
}

void ReportQueue::CountNotPublished(uint64_t count) {
  std::lock_guard lock(mutex_);
  counts_.notPublished += count;
}

void ReportQueue::DropAll() {
  std::lock_guard lock(mutex_);
  counts_.notPublished += reports_.size();
  reports_.clear();
}

PublishCounts ReportQueue::counts() {
  std::lock_guard lock(mutex_);
  return counts_;
}

void ReportQueue::AskToStop(std::chrono::steady_clock::time_point deadline) {
  std::lock_guard lock(mutex_);
  stop_ = true;
  deadline_ = deadline;
  stopAsked_.notify_all();
}

bool ReportQueue::StopAsked() {
  std::lock_guard lock(mutex_);
  return stop_;
}

std::chrono::steady_clock::time_point ReportQueue::StopDeadline() {
  std::lock_guard lock(mutex_);
  return deadline_;
}

bool ReportQueue::WaitUntil(std::chrono::steady_clock::time_point when) {
  std::unique_lock lock(mutex_);
  return stopAsked_.wait_until(lock, when, [this] { return stop_; });
}

}  // namespace pelorin::mqtt
