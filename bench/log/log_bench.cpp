// Records per second that the log takes: what the receive thread spends on
// each report (format, encode to Shift-JIS, queue), and the rate at which
// records reach the file through the log's writer thread.

#include "csv_log.h"
#include "record_format.h"
#include "typical_report.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <unistd.h>

namespace {

using namespace pelorin;
using bench::TypicalReport;

void FormatRecord(benchmark::State& state) {
  const NodeReport report = TypicalReport();
  std::string line;
  for (auto _ : state) {
    line.clear();
    AppendRecordLine(report, &line);
    benchmark::DoNotOptimize(line.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(FormatRecord);

// A log on a fresh file, with the window's default row names.
class BenchLog {
 public:
  BenchLog() {
    close(mkstemp(path_));
    for (int row = 0; row < kRowCount; ++row) log.SetRowName(row, "入力 " + std::to_string(row + 1));
  }
  ~BenchLog() { std::remove(path_); }
  const char* path() const { return path_; }

  std::atomic<int32_t> failures{0};
  CsvLog log{[this](int32_t, size_t) { ++failures; }};

 private:
  char path_[32] = "/tmp/pelorin-bench-XXXXXX";
};

// The receive thread's cost per report while the writer keeps up.
void AppendRecordToFile(benchmark::State& state) {
  BenchLog bench;
  bench.log.Open(bench.path());
  NodeReport report = TypicalReport();
  for (auto _ : state) {
    bench.log.Append(report);
    ++report.timestamp;
  }
  bench.log.Close();
  if (bench.failures != 0) state.SkipWithError("the file did not take every record");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(AppendRecordToFile);

// Records in the file per second: a burst of them appended, then the log
// closed, which returns once the writer has written them all.
void RecordsReachTheFile(benchmark::State& state) {
  constexpr int kBurst = 10000;
  BenchLog bench;
  NodeReport report = TypicalReport();
  for (auto _ : state) {
    bench.log.Open(bench.path());
    for (int i = 0; i < kBurst; ++i) {
      bench.log.Append(report);
      ++report.timestamp;
    }
    bench.log.Close();
  }
  if (bench.failures != 0) state.SkipWithError("the file did not take every record");
  state.SetItemsProcessed(state.iterations() * kBurst);
}
BENCHMARK(RecordsReachTheFile)->Unit(benchmark::kMillisecond);

}  // namespace
