// Records per second that the log formats, encodes to Shift-JIS and appends,
// each with its own write, as the receive thread does for every report.

#include "csv_log.h"
#include "record_format.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <unistd.h>

namespace {

using namespace pelorin;

NodeReport TypicalReport() {
  NodeReport report;
  report.timestamp = 1765000000;
  report.node = 26;
  report.id = 3;
  report.model = 3;
  report.digitalCount = 3;
  report.digital = {1, 0, 1, 0, 0};
  report.analogCount = 2;
  report.analog[0] = {2, 0x400000};
  report.analog[1] = {6, 0x00FA00};
  return report;
}

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

void AppendRecordToFile(benchmark::State& state) {
  char path[] = "/tmp/pelorin-bench-XXXXXX";
  close(mkstemp(path));
  CsvLog log(nullptr);
  for (int row = 0; row < kRowCount; ++row) log.SetRowName(row, "入力 " + std::to_string(row + 1));
  log.Open(path);
  NodeReport report = TypicalReport();
  for (auto _ : state) {
    log.Append(report);
    ++report.timestamp;
  }
  log.Close();
  std::remove(path);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(AppendRecordToFile);

}  // namespace
