// The log at a gateway's pace: a thread appends reports at a fixed rate, as
// the receive thread does, for some seconds. Prints the CPU time of its
// Append calls per record (two clock reads each included), the CPU and the
// wake-ups a second of the log's own threads, and checks that the file holds
// every record.
//
//   pelorin-bench-log-pace [REPORTS_PER_SECOND [SECONDS]]

#include "csv_log.h"
#include "process_counts.h"
#include "record_format.h"
#include "typical_report.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using namespace pelorin;
using bench::TypicalReport;
using Clock = std::chrono::steady_clock;

double ThreadCpuMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

long long LogWakeups() {
  return test::ThreadWakeups("pelorin-log") + test::ThreadWakeups("pelorin-logwait");
}

}  // namespace

int main(int argc, char** argv) {
  const int rate = argc > 1 ? std::atoi(argv[1]) : 460;
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 5;
  if (rate <= 0 || seconds <= 0) {
    std::fprintf(stderr, "usage: %s [REPORTS_PER_SECOND [SECONDS]]\n", argv[0]);
    return 2;
  }
  char path[] = "/tmp/pelorin-pace-XXXXXX";
  close(mkstemp(path));
  int failures = 0;
  CsvLog log{[&failures](auto...) { ++failures; }};
  for (int row = 0; row < kRowCount; ++row) log.SetRowName(row, "入力 " + std::to_string(row + 1));
  if (log.Open(path) != 0) {
    std::fprintf(stderr, "cannot open %s\n", path);
    return 1;
  }
  const long records = static_cast<long>(rate) * seconds;
  const long long wakeupsBefore = LogWakeups();
  const double processBefore = test::ProcessCpuMilliseconds();
  double appenderCpu = 0;        // in Append alone
  double appenderThreadCpu = 0;  // the whole thread, pacing included
  std::thread appender([&] {
    NodeReport report = TypicalReport();
    const auto start = Clock::now();
    for (long i = 0; i < records; ++i) {
      std::this_thread::sleep_until(start + std::chrono::microseconds(i * 1'000'000 / rate));
      const double before = ThreadCpuMilliseconds();
      log.Append(report);
      appenderCpu += ThreadCpuMilliseconds() - before;
      ++report.timestamp;
    }
    appenderThreadCpu = ThreadCpuMilliseconds();
  });
  appender.join();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the last batch
  // The process's threads but the appender: the log's, and the idle main thread.
  const double logCpu = test::ProcessCpuMilliseconds() - processBefore - appenderThreadCpu;
  const long long wakeups = LogWakeups() - wakeupsBefore;
  log.Close();

  std::ifstream file(path, std::ios::binary);
  long lines = 0;
  for (std::string line; std::getline(file, line);) ++lines;
  std::remove(path);
  const double wall = seconds + 0.2;
  std::printf("rate %d/s  records %ld  append %.2f us/record  log threads %.3f %% of a core  "
              "log wake-ups %.1f/s  lines %ld%s\n",
              rate, records, appenderCpu * 1e3 / static_cast<double>(records),
              logCpu / (wall * 10.0), static_cast<double>(wakeups) / wall, lines,
              failures != 0 || lines != records + 1 ? "  RECORDS MISSING" : "");
  return failures != 0 || lines != records + 1 ? 1 : 0;
}
