#pragma once

#include "frame_builder.h"
#include "sim_channel.h"
#include "sim_options.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace pelorin::sim {

// One session of the simulated gateway on a connection to the monitor:
// answers the start command "00MD" with "00md", then streams node reports at
// the configured rate, with the configured fault.
class GatewaySession {
 public:
  GatewaySession(const Options& options, ReportGenerator& reports);

  enum class End { PeerGone, Reset, Closed };
  End Run(SimChannel& channel);

 private:
  using Clock = std::chrono::steady_clock;

  void OnReceived(const uint8_t* bytes, size_t count);
  void QueueDueReports(Clock::time_point now);
  void QueueReport();
  void Queue(const Frame& frame);
  void QueueGarbage();
  bool Flush(SimChannel& channel);
  int PollTimeoutMs(Clock::time_point now) const;

  const Options& options_;
  ReportGenerator& reports_;
  std::vector<uint8_t> command_;
  std::vector<uint8_t> output_;
  size_t outputSent_ = 0;
  bool streaming_ = false;
  int64_t reportsSent_ = 0;
  int64_t framesQueued_ = 0;
  Clock::time_point nextReport_;
};

}  // namespace pelorin::sim
