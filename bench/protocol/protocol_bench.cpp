// Decoding speed: one typical report, one value's conversion and text, and
// the whole frame handler per frame with a sink that copies the texts the way
// the window does.

#include "channel_types.h"
#include "frame_builder.h"
#include "frame_handler.h"
#include "report_decoder.h"
#include "report_sink.h"

#include <benchmark/benchmark.h>

#include <mutex>
#include <string>

namespace {

using namespace pelorin;

// The worked example: KT-300 with three inputs, a 10 V and a temperature channel.
const sim::Frame kReport = [] {
  sim::ReportContent report;
  report.node = 0x1A;
  report.id = 3;
  report.model = 3;
  report.digitalBytes = {0x35, 0x30};
  report.analog = {{2, 0x400000}, {6, 0x00FA00}};
  return sim::NodeReport(report);
}();

class WindowLikeSink : public ReportSink {
 public:
  RowValues& Rows() override { return rows_; }
  void SetNodeStatus(std::string_view text) override {
    std::lock_guard lock(mutex_);
    status_.assign(text);
  }
  void SetReceiveTime(std::string_view text) override {
    std::lock_guard lock(mutex_);
    time_.assign(text);
  }
  void RequestRowRefresh() override { ++refreshes_; }
  void AppendRecord(const NodeReport& report) override { benchmark::DoNotOptimize(&report); }

 private:
  RowValues rows_;
  std::mutex mutex_;
  std::string status_;
  std::string time_;
  long refreshes_ = 0;
};

void ParseTypicalReport(benchmark::State& state) {
  NodeReport report;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        ParseNodeReport(kReport.data(), static_cast<int32_t>(kReport.size()), &report));
  }
}
BENCHMARK(ParseTypicalReport);

void ConvertAndFormatOneValue(benchmark::State& state) {
  uint32_t raw = 0x400000;
  for (auto _ : state) {
    AnalogText text = FormatAnalog(2, raw);
    benchmark::DoNotOptimize(text);
    raw = (raw + 0x1235) & 0x7FFFFF;
  }
}
BENCHMARK(ConvertAndFormatOneValue);

void FrameHandlerPerFrame(benchmark::State& state) {
  WindowLikeSink sink;
  for (auto _ : state) {
    benchmark::DoNotOptimize(protocol::FrameHandler(static_cast<ReportSink*>(&sink), kReport.data(),
                                          static_cast<int32_t>(kReport.size())));
  }
}
BENCHMARK(FrameHandlerPerFrame);

}  // namespace
