// A gateway lost while the window receives: the window says so with the
// controls it has, the rows no longer look live, and the session reaches the
// gateway again by itself, logging on into the same file; the user's stop
// ends a reconnection at once.

#include "control_table.h"
#include "file_lines.h"
#include "monitor_core.h"
#include "recording_window.h"
#include "scripted_devices.h"
#include "sim_process.h"
#include "temporary_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pelorin::monitor {
namespace {

using Clock = std::chrono::steady_clock;
using Sim = pelorin::test::SimProcess;

constexpr std::string_view kLostText = "接続が切れました。再接続しています…";

class GatewayLoss : public ::testing::Test {
 protected:
  void StartLogging(const std::string& gatewayPort) {
    core = std::make_unique<MonitorCore>(window, "/opt/pelorin/bin/pelorin",
                                         std::make_unique<test::ScriptedDevices>());
    core->OnInitDialog();
    core->SetLogPath(LogPath());
    window.Check(ids::LoggingCheck, true);
    core->OnLoggingClicked();
    window.Type(ids::AddressEdit, "127.0.0.1");
    window.Type(ids::PortEdit, gatewayPort);
    core->OnStartClicked();
    ASSERT_TRUE(RunUntil([&] { return core->Mode() == MonitorMode::Receiving; }));
    ASSERT_TRUE(RunUntil([&] { return Value(0) == " 5.0000 V"; }));
  }
  bool RunUntil(const std::function<bool()>& condition, int timeoutMs = 15000) {
    return window.RunUntil(*core, condition, timeoutMs);
  }
  const std::string& Value(int row) { return window[ids::RowValueLabels[static_cast<size_t>(row)]].text; }
  bool LossShown() { return window[ids::NodeStatus].text == kLostText; }
  std::string LogPath() { return folder.path() + "/log.csv"; }

  // Receiving throughout; the rows and the time of reception look live only
  // while the gateway is there.
  void ExpectLive(bool live, const char* when) {
    EXPECT_EQ(core->Mode(), MonitorMode::Receiving) << when;
    EXPECT_EQ(window[ids::StartButton].text, "切断") << when;
    EXPECT_TRUE(window[ids::NodeStatus].enabled) << when;
    EXPECT_EQ(window[ids::ReceiveTime].enabled, live) << when;
    for (size_t row = 0; row < ids::RowNameEdits.size(); ++row) {
      EXPECT_TRUE(window[ids::RowNameEdits[row]].enabled) << when;
      EXPECT_EQ(window[ids::RowIndicators[row]].enabled, live) << when << " row " << row;
      EXPECT_EQ(window[ids::RowValueLabels[row]].enabled, live) << when << " row " << row;
    }
    EXPECT_EQ(core->IndicatorFill(2).has_value(), live) << when;  // an input of the report
  }

  std::vector<std::string> LogLines() { return pelorin::test::FileLines(LogPath()); }

  pelorin::test::TemporaryFolder folder;
  test::RecordingWindow window;
  std::unique_ptr<MonitorCore> core;
};

std::vector<std::string> Gateway(const std::string& port, std::vector<std::string> more = {}) {
  std::vector<std::string> arguments{"--tcp", "127.0.0.1:" + port, "--rate", "100", "--fixed-report"};
  arguments.insert(arguments.end(), more.begin(), more.end());
  return arguments;
}

TEST_F(GatewayLoss, TheWindowSaysSoAndReportsResumeByThemselves) {
  const struct {
    const char* name;
    std::vector<std::string> fault;
    bool killed;  // the gateway is killed, then started again on its port
  } cases[] = {
      {"the gateway closes", {"--fault", "close", "--reset-after", "40"}, false},
      {"the gateway resets", {"--fault", "reset", "--reset-after", "40"}, false},
#if !defined(_WIN32)  // Windows' simulator cannot take a port back at once
      {"the gateway is killed and started again", {}, true},
#endif
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto sim = std::make_unique<Sim>(Gateway("0", c.fault));
    const std::string port = sim->endpoint();
    StartLogging(port);
    ExpectLive(true, "before");
    if (c.killed) sim.reset();
    ASSERT_TRUE(RunUntil([&] { return LossShown(); }));
    ExpectLive(false, "lost");
    const size_t linesAtLoss = LogLines().size();
    if (c.killed) sim = std::make_unique<Sim>(Gateway(port));
    ASSERT_TRUE(RunUntil([&] { return !LossShown() && LogLines().size() > linesAtLoss; }));
    ExpectLive(true, "back");
    EXPECT_EQ(window[ids::NodeStatus].text, "node : [ 26 ]    /    KT-200    ID : 3    ");
    core->OnStartClicked();
    EXPECT_EQ(core->Mode(), MonitorMode::Idle);
    core.reset();

    // One header, then the records of both connections, all whole.
    const std::vector<std::string> lines = LogLines();
    ASSERT_GT(lines.size(), linesAtLoss);
    for (size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].rfind("\x93\xfa\x95\x74,", 0) == 0, i == 0) << "line " << i;  // 日付,
      if (i > 0) {
        EXPECT_NE(lines[i].find(",26,KT-200,3,"), std::string::npos) << lines[i];
        EXPECT_NE(lines[i].rfind("(unterminated)", 0), 0u) << lines[i];
      }
    }
    std::filesystem::remove(LogPath());
  }
}

#if !defined(_WIN32)
// The session is then reaching for a gateway that accepts and never answers:
// the stop waits neither for a pause nor for the answer's five seconds.
TEST_F(GatewayLoss, StopDuringTheReconnectionEndsItAtOnce) {
  for (const int stopAfterMs : {0, 1500}) {  // in the first pause; in the start command's wait
    SCOPED_TRACE(stopAfterMs);
    auto sim = std::make_unique<Sim>(Gateway("0"));
    const std::string port = sim->endpoint();
    StartLogging(port);
    sim.reset();
    ASSERT_TRUE(RunUntil([&] { return LossShown(); }));
    Sim silent({"--tcp", "127.0.0.1:" + port, "--fault", "silent"});
    window.RunFor(*core, stopAfterMs);
    const auto start = Clock::now();
    core->OnStartClicked();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(core->Mode(), MonitorMode::Idle);
    EXPECT_EQ(window[ids::StartButton].text, "接続");
    EXPECT_NE(window[ids::NodeStatus].text, kLostText) << "an Idle window reconnects nothing";
    EXPECT_TRUE(window.messages.empty());
    core.reset();
  }
}
#endif

}  // namespace
}  // namespace pelorin::monitor
