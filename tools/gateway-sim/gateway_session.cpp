#include "gateway_session.h"

#include <algorithm>

namespace pelorin::sim {

namespace {

constexpr uint8_t kTerminator = 0xC8;
constexpr size_t kOutputHighWater = 64 * 1024;
constexpr int kBatchAtFullSpeed = 256;

bool IsStartCommand(const std::vector<uint8_t>& command) {
  return command.size() == 4 && command[0] == '0' && command[1] == '0' &&
         command[2] == 'M' && command[3] == 'D';
}

}  // namespace

GatewaySession::GatewaySession(const Options& options, ReportGenerator& reports)
    : options_(options), reports_(reports) {}

GatewaySession::End GatewaySession::Run(SimChannel& channel) {
  nextReport_ = Clock::now();
  if (options_.fault == Fault::Prefill) QueueGarbage();
  if (options_.fault == Fault::Flood || options_.noStartCommand) streaming_ = true;

  for (;;) {
    const auto now = Clock::now();
    QueueDueReports(now);
    if (framesQueued_ >= options_.resetAfter && outputSent_ == output_.size()) {
      if (options_.fault == Fault::Reset && channel.ResetOnClose()) return End::Reset;
      if (options_.fault == Fault::Close) return End::Closed;
    }
    const SimChannel::Ready ready = channel.Wait(outputSent_ < output_.size(), PollTimeoutMs(now));
    if (ready.gone) return End::PeerGone;
    if (ready.readable) {
      uint8_t buffer[4096];
      const long n = channel.Read(buffer, sizeof buffer);
      if (n < 0) return End::PeerGone;
      if (n > 0) OnReceived(buffer, static_cast<size_t>(n));
    }
    if (!Flush(channel)) return End::PeerGone;
  }
}

void GatewaySession::OnReceived(const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (bytes[i] != kTerminator) {
      if (command_.size() < 256) command_.push_back(bytes[i]);
      continue;
    }
    if (IsStartCommand(command_) && options_.fault != Fault::Silent) {
      Queue(GatewayReply());
      if (!streaming_) nextReport_ = Clock::now();
      streaming_ = true;
      reportsSent_ = 0;
    }
    command_.clear();
  }
}

void GatewaySession::QueueDueReports(Clock::time_point now) {
  if (!streaming_) return;
  const bool fullSpeed = options_.rate <= 0 || options_.fault == Fault::Flood;
  auto underCount = [&] { return options_.count < 0 || reportsSent_ < options_.count; };
  if (fullSpeed) {
    for (int i = 0; i < kBatchAtFullSpeed && underCount() &&
                    output_.size() - outputSent_ < kOutputHighWater;
         ++i) {
      QueueReport();
    }
    return;
  }
  const auto period = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(1.0 / options_.rate));
  while (now >= nextReport_ && underCount()) {
    QueueReport();
    nextReport_ += period;
  }
  // After a long stall (the peer stopped reading) do not burst to catch up.
  if (nextReport_ < now - std::chrono::seconds(1)) nextReport_ = now;
}

void GatewaySession::QueueReport() {
  Queue(NodeReport(options_.fixedReport ? FixedReport() : reports_.Next()));
  ++reportsSent_;
  if (reportsSent_ % 50 == 0) Queue(GatewayQuery(static_cast<int>(reportsSent_ / 50 % 100)));
  if (options_.fault == Fault::Garbage && reportsSent_ % 20 == 0) QueueGarbage();
}

void GatewaySession::Queue(const Frame& frame) {
  if (outputSent_ == output_.size() || outputSent_ > kOutputHighWater) {
    output_.erase(output_.begin(), output_.begin() + static_cast<long>(outputSent_));
    outputSent_ = 0;
  }
  output_.insert(output_.end(), frame.begin(), frame.end());
  ++framesQueued_;
}

// Bytes a real gateway sends after a reset or a radio fault: a run of noise
// ending in a terminator, a truncated report and a run far longer than a frame.
void GatewaySession::QueueGarbage() {
  Frame noise = {0x00, 0xFF, 0x7F, 0x80, 'W', 'U', 0x01, 0xC7, 0xC9, kTerminator};
  Frame truncated = NodeReport(reports_.Next());
  truncated.erase(truncated.begin() + static_cast<long>(truncated.size() / 2),
                  truncated.end() - 1);
  Frame overlong(300, 'x');
  overlong.push_back(kTerminator);
  Queue(noise);
  Queue(truncated);
  Queue(overlong);
}

bool GatewaySession::Flush(SimChannel& channel) {
  while (outputSent_ < output_.size()) {
    const long n = channel.Write(output_.data() + outputSent_, output_.size() - outputSent_);
    if (n < 0) return false;
    if (n == 0) return true;  // no room now: the next wait asks for some
    outputSent_ += static_cast<size_t>(n);
  }
  return true;
}

int GatewaySession::PollTimeoutMs(Clock::time_point now) const {
  if (!streaming_) return 100;
  const bool fullSpeed = options_.rate <= 0 || options_.fault == Fault::Flood;
  if (options_.count >= 0 && reportsSent_ >= options_.count) return 100;
  if (fullSpeed) return output_.size() - outputSent_ < kOutputHighWater ? 0 : 100;
  // Rounded up: at more than a thousand reports a second the next one is due
  // within the millisecond, and a wait rounded down to 0 would spin a core;
  // the reports that fall due meanwhile go out together.
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextReport_ - now).count();
  return static_cast<int>(std::clamp<long long>(wait, 0, 100));
}

}  // namespace pelorin::sim
