#pragma once

#include "mqtt_publisher.h"
#include "node_report.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace pelorin::mqtt {

// The reports on their way to the broker, shared by the receive thread that
// puts them in and the publishing thread that takes them out, with the counts
// of what became of them; one lock guards it all.
class ReportQueue {
 public:
  explicit ReportQueue(size_t bound) : bound_(bound) {}

  // Never waits: beyond the bound the oldest report is dropped and counted.
  void Put(const NodeReport& report);
  // Up to count reports, oldest first, into taken (cleared first).
  void Take(size_t count, std::vector<NodeReport>* taken);
  // Reports that could not be handed over go back to the head, in order.
  void PutBack(std::vector<NodeReport>& reports, size_t from);
  bool Empty();

  void CountPublished(uint64_t count);
  void CountNotPublished(uint64_t count);
  // Everything still queued counts as not published.
  void DropAll();
  PublishCounts counts();

  // The stop: asked for with the time by which publishing must end, and
  // waited for between tries.
  void AskToStop(std::chrono::steady_clock::time_point deadline);
  bool StopAsked();
  std::chrono::steady_clock::time_point StopDeadline();
  // Until the time or a stop; true when stopping.
  bool WaitUntil(std::chrono::steady_clock::time_point when);

 private:
  const size_t bound_;
  std::mutex mutex_;  // guards what follows
  std::condition_variable stopAsked_;
  std::deque<NodeReport> reports_;
  PublishCounts counts_;
  bool stop_ = false;
  std::chrono::steady_clock::time_point deadline_;
};

}  // namespace pelorin::mqtt
