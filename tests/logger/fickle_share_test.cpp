// The logger's log on a share that stalls or fills up for a while: a FUSE
// file system that the test turns (fickle_fs.py), mounted by with_fuse_fs.sh,
// which names it in PELORIN_FUSE_MOUNT.

#include "csv_log.h"
#include "logger_run_fixture.h"
#include "sim_process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace pelorin::logger {
namespace {

using namespace std::chrono_literals;

// A folder of the test's own on the share, and the share's switches.
class FickleShare {
 public:
  FickleShare() {
    const char* mount = std::getenv("PELORIN_FUSE_MOUNT");
    if (mount != nullptr) root_ = mount;
  }
  bool here() const { return !root_.empty(); }
  std::string Path(const std::string& name) const { return root_ + "/" + name; }
  // While on, writes wait (".stall") or fail with ENOSPC (".full").
  void Set(const char* control, bool on) const {
    if (on) {
      std::ofstream(Path(control)).flush();
    } else {
      std::filesystem::remove(Path(control));
    }
  }

 private:
  std::string root_;
};

NodeReport Report(int32_t node) {
  NodeReport report;
  report.timestamp = 1765000000;
  report.node = node;
  report.model = 1;
  return report;
}

// A stall shorter than the queue holds, or a disk full for a while, loses
// nothing: one line for the failure, one for the recovery after a real write,
// and every report in the file.
TEST_F(LoggerRunTest, AShareThatStallsOrFillsUpForAWhileLosesNothing) {
  const FickleShare share;
  if (!share.here()) GTEST_SKIP() << "no share here; Logger.OnAFickleShare runs this";
  const struct {
    const char* control;
    std::chrono::milliseconds lasting;
    const char* reason;
  } cases[] = {
      {".stall", 2500ms, "the file system did not answer within 2 s"},
      {".full", 1500ms, "No space left on device"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.control);
    test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "1000"});
    LoggerOptions options = TcpOptions(sim.endpoint());
    options.csvPath = share.Path(std::string("log") + c.control + ".csv");
    Start(options);
    ASSERT_TRUE(Said("start command answered"));
    std::this_thread::sleep_for(300ms);
    share.Set(c.control, true);
    std::this_thread::sleep_for(c.lasting);
    ASSERT_TRUE(Said(std::string("cannot write the log file ") + options.csvPath));
    share.Set(c.control, false);
    ASSERT_TRUE(Said("is written again"));
    std::this_thread::sleep_for(300ms);
    Stop();
    EXPECT_NE(LineWith("cannot write the log file").find(c.reason), std::string::npos);
    EXPECT_EQ(LinesWith("cannot write the log file"), 1u);
    EXPECT_EQ(LinesWith("is written again"), 1u);
    EXPECT_EQ(NumberBefore(LineWith("is written again"), "reports could not be written"), 0u);
    const std::string stopped = LineWith("stopped");
    const uint64_t decoded = NumberBefore(stopped, "reports decoded");
    EXPECT_EQ(NumberBefore(stopped, "written,"), decoded) << stopped;
    EXPECT_EQ(CsvLinesAt(options.csvPath).size(), decoded + 1);
  }
}

// A log that keeps trying holds what a stalled file has not taken, up to its
// bound: beyond it records are counted as lost, and a batch that the file
// took after the log gave up on it at its close is counted as written.
TEST(KeptLog, WhatAStalledFileTakesLateIsWrittenAndOnlyTheOverflowIsLost) {
  const FickleShare share;
  if (!share.here()) GTEST_SKIP() << "no share here; Logger.OnAFickleShare runs this";
  CsvLog log(nullptr, CsvLog::Persistence::KeepTrying, 300ms);
  ASSERT_EQ(log.Open(share.Path("kept.csv")), 0);
  share.Set(".stall", true);
  // Far more than the queue holds.
  constexpr int kRecords = 400000;
  for (int i = 0; i < kRecords; ++i) ASSERT_TRUE(log.Append(Report(i)));
  std::this_thread::sleep_for(2100ms);
  EXPECT_TRUE(log.health().stalled);
  EXPECT_GT(log.health().lost, 0u);
  log.Close();  // gives the writer up, its batch in the file's hands
  share.Set(".stall", false);
  CsvLog::Health health;
  for (int look = 0; look < 500 && (health = log.health()).written == 0; ++look) {
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_GT(health.written, 0u);
  EXPECT_EQ(health.written + health.lost, static_cast<uint64_t>(kRecords));
  EXPECT_EQ(test::FileLines(share.Path("kept.csv")).size(), health.written + 1);
}

}  // namespace
}  // namespace pelorin::logger
