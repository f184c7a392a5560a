// The CSV log from the monitor core: every report the simulator sends while
// logging is on becomes exactly one whole line, however fast they come, and
// the log controls follow the file.

#include "control_table.h"
#include "cp932_encoder.h"
#include "file_lines.h"
#include "frame_builder.h"
#include "monitor_core.h"
#include "record_format.h"
#include "recording_window.h"
#include "report_decoder.h"
#include "scripted_devices.h"
#include "sim_process.h"
#include "temporary_folder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

#if !defined(_WIN32)
#include <csignal>
#include <sys/resource.h>
#endif

namespace pelorin::monitor {
namespace {

using test::RecordingWindow;

using pelorin::test::FileLines;

// The simulator's reports for a seed, as record lines without their date and
// time fields, in Shift-JIS.
std::vector<std::string> ExpectedRecords(uint32_t seed, size_t count) {
  sim::ReportGenerator reports(seed);
  Cp932Encoder encoder;
  std::vector<std::string> records;
  for (size_t i = 0; i < count; ++i) {
    const sim::Frame frame = sim::NodeReport(reports.Next());
    NodeReport report;
    ParseNodeReport(frame.data(), static_cast<int32_t>(frame.size()), &report);
    std::string bytes;
    encoder.Append(FormatRecordLine(report).substr(20), &bytes);
    records.push_back(bytes);
  }
  return records;
}

// The user ticks or unticks the logging check box.
void ToggleLogging(RecordingWindow& window, MonitorCore& core) {
  window.Check(ids::LoggingCheck, !window[ids::LoggingCheck].checked);
  core.OnLoggingClicked();
}

class Logging : public ::testing::Test {
 protected:
  void SetUp() override {
    path = directory + "/records.csv";
    core = std::make_unique<MonitorCore>(window, "/opt/pelorin-1.0/bin/pelorin",
                                         std::make_unique<test::ScriptedDevices>());
    core->OnInitDialog();
  }
  void StartSession(const std::string& port) {
    window.Type(ids::AddressEdit, "127.0.0.1");
    window.Type(ids::PortEdit, port);
    core->OnStartClicked();
  }

  pelorin::test::TemporaryFolder folder;
  const std::string& directory = folder.path();
  std::string path;
  RecordingWindow window;
  std::unique_ptr<MonitorCore> core;
};

TEST_F(Logging, HundredThousandReportsAsFastAsTheyComeLoseNothing) {
  constexpr size_t kReports = 100000;
  pelorin::test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "0", "--count",
                                 std::to_string(kReports), "--seed", "5"});
  core->SetLogPath(path);
  ToggleLogging(window, *core);
  ASSERT_TRUE(window[ids::LoggingCheck].checked);
  EXPECT_FALSE(window[ids::BrowseButton].enabled);
  StartSession(sim.endpoint());
  ASSERT_TRUE(window.RunUntil(*core, [&] { return FileLines(path).size() >= kReports + 1; }, 120000));
  window.RunFor(*core, 200);
  core->OnStartClicked();  // stop
  ToggleLogging(window, *core);
  EXPECT_TRUE(window[ids::BrowseButton].enabled);

  const std::vector<std::string> lines = FileLines(path);
  ASSERT_EQ(lines.size(), kReports + 1);
  EXPECT_EQ(lines[0].rfind("\x93\xFA\x95\x74,", 0), 0u);  // 日付,...
  const std::vector<std::string> expected = ExpectedRecords(5, kReports);
  for (size_t i = 0; i < kReports; ++i) {
    ASSERT_EQ(lines[i + 1].substr(20), expected[i]) << "record " << i;
  }
  EXPECT_TRUE(window.messages.empty());
}

TEST_F(Logging, SwitchingOnAndOffWhileReportsComeKeepsEveryLineWhole) {
  constexpr size_t kReports = 30000;
  pelorin::test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "20000", "--count",
                                 std::to_string(kReports), "--seed", "9"});
  core->SetLogPath(path);
  StartSession(sim.endpoint());
  ASSERT_TRUE(window.RunUntil(*core, [&] { return core->Mode() == MonitorMode::Receiving; }));
  // Toggled while reports come, however slowly they begin on a busy machine;
  // left on at the end, so that the rest is logged whenever it comes.
  ASSERT_TRUE(window.RunUntil(*core, [&] { return !window[ids::ReceiveTime].text.empty(); }));
  for (int toggle = 0; toggle < 59; ++toggle) {
    ToggleLogging(window, *core);
    window.RunFor(*core, 15);
  }
  window.RunFor(*core, 1500);  // the simulator has sent everything
  if (window[ids::LoggingCheck].checked) ToggleLogging(window, *core);

  const std::vector<std::string> lines = FileLines(path);
  ASSERT_GT(lines.size(), 100u);
  EXPECT_EQ(lines[0].rfind("\x93\xFA\x95\x74,", 0), 0u);
  const std::vector<std::string> expected = ExpectedRecords(9, kReports);
  size_t next = 0;  // each line is a later record than the line before
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string record = lines[i].size() > 20 ? lines[i].substr(20) : lines[i];
    while (next < expected.size() && expected[next] != record) ++next;
    ASSERT_LT(next, expected.size()) << "line " << i << " is no whole record, or out of order";
    ++next;
  }
}

TEST_F(Logging, AFileThatCannotBeOpenedLeavesLoggingOff) {
  // The default path lies next to the program, whose folder does not exist here.
  EXPECT_EQ(core->LogPath(), "/opt/pelorin-1.0/bin/pelorin.csv");
  EXPECT_EQ(window[ids::LogPathText].text, "/opt/pelorin-1.0/bin/pelorin.csv");
  ToggleLogging(window, *core);
  EXPECT_EQ(window.messages, std::vector<std::string>{"ログファイルが開けません\r\n"});
  EXPECT_FALSE(window[ids::LoggingCheck].checked);
  EXPECT_TRUE(window[ids::BrowseButton].enabled);
}

// Skipped where code page 932 converts; Logging.WithoutConverters runs it
// where the C library's converters are hidden.
TEST_F(Logging, WithoutAConverterTheWindowSaysSoOnceAndTheLogStaysClosed) {
  const auto problem = Cp932ConversionProblem();
  if (!problem) GTEST_SKIP() << "this system converts code page 932";
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0],
            "日本語をShift-JISに変換できません\r\n(" + problem->reason + ")");
  core->SetLogPath(path);
  ToggleLogging(window, *core);
  EXPECT_EQ(window.messages.back(), "ログファイルが開けません\r\n");
  EXPECT_FALSE(window[ids::LoggingCheck].checked);
  EXPECT_FALSE(std::ifstream(path).good());
}

TEST_F(Logging, ASecondWindowCannotLogToTheSameFile) {
  core->SetLogPath(path);
  ToggleLogging(window, *core);
  ASSERT_TRUE(window[ids::LoggingCheck].checked);
  RecordingWindow secondWindow;
  MonitorCore second(secondWindow, "/opt/pelorin-1.0/bin/pelorin",
                     std::make_unique<test::ScriptedDevices>());
  second.OnInitDialog();
  second.SetLogPath(path);
  ToggleLogging(secondWindow, second);
  EXPECT_EQ(secondWindow.messages, std::vector<std::string>{"ログファイルが開けません\r\n"});
  EXPECT_FALSE(secondWindow[ids::LoggingCheck].checked);
}

TEST_F(Logging, BrowseOffersTheCurrentPathAndTakesTheChosenOne) {
  core->SetLogPath(directory + "/earlier.csv");
  window.saveAnswer = std::nullopt;  // cancelled
  core->OnBrowseClicked();
  ASSERT_TRUE(window.saveRequest.has_value());
  EXPECT_EQ(window.saveRequest->initialPath, directory + "/earlier.csv");
  EXPECT_EQ(window.saveRequest->defaultExtension, "csv");
  EXPECT_EQ(core->LogPath(), directory + "/earlier.csv");
  window.saveAnswer = directory + "/chosen.csv";
  core->OnBrowseClicked();
  EXPECT_EQ(core->LogPath(), directory + "/chosen.csv");
  EXPECT_EQ(window[ids::LogPathText].text, directory + "/chosen.csv");
}

#if !defined(_WIN32)
// While it lives, no file of this process may grow: a write fails with
// EFBIG, and SIGXFSZ is ignored as the program ignores it.
class NoRoomForFiles {
 public:
  NoRoomForFiles() {
    std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &previous_);
    const rlimit none{0, previous_.rlim_max};
    setrlimit(RLIMIT_FSIZE, &none);
  }
  ~NoRoomForFiles() { setrlimit(RLIMIT_FSIZE, &previous_); }
  NoRoomForFiles(const NoRoomForFiles&) = delete;
  NoRoomForFiles& operator=(const NoRoomForFiles&) = delete;

 private:
  rlimit previous_{};
};

TEST_F(Logging, AFailedWriteSwitchesLoggingOffAndSaysSo) {
  pelorin::test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "50", "--fixed-report"});
  core->SetLogPath(path);
  {
    const NoRoomForFiles full;
    ToggleLogging(window, *core);
    ASSERT_TRUE(window[ids::LoggingCheck].checked);
    StartSession(sim.endpoint());
    ASSERT_TRUE(window.RunUntil(*core, [&] { return !window.messages.empty(); }));
  }
  EXPECT_TRUE(FileLines(path).empty());  // not even part of a line
  EXPECT_EQ(window.messages, std::vector<std::string>{"ログファイルに書き込めません\r\n"});
  EXPECT_FALSE(window[ids::LoggingCheck].checked);
  EXPECT_TRUE(window[ids::BrowseButton].enabled);
  // Monitoring goes on.
  EXPECT_TRUE(window.RunUntil(*core, [&] { return core->Mode() == MonitorMode::Receiving; }));
}
#endif

}  // namespace
}  // namespace pelorin::monitor
