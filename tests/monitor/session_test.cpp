// Whole sessions of the monitor core against pelorin-gateway-sim over
// loopback TCP and, on Linux, over a pty registered as a COM port, with a
// recording window in place of a toolkit.

#include "control_table.h"
#include "link_error.h"
#include "loopback.h"
#include "process_counts.h"
#include "monitor_core.h"
#include "recording_window.h"
#include "scripted_devices.h"
#include "sim_process.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

namespace pelorin::monitor {
namespace {

using test::RecordingWindow;

// Windows has no pseudo terminals: there the simulator serves TCP only.
#if defined(_WIN32)
constexpr bool kOverPty[] = {false};
#else
constexpr bool kOverPty[] = {false, true};
#endif

class CoreSession : public ::testing::Test {
 protected:
  void Open(std::unique_ptr<test::ScriptedDevices> scripted = nullptr) {
    if (!scripted) scripted = std::make_unique<test::ScriptedDevices>();
    devices = scripted.get();
    core = std::make_unique<MonitorCore>(window, "/opt/pelorin/bin/pelorin", std::move(scripted));
    core->OnInitDialog();
  }
  void ConnectTo(const std::string& host, const std::string& port) {
    window.Type(ids::AddressEdit, host);
    window.Type(ids::PortEdit, port);
  }
  void Choose(int radio) {
    window.Check(ids::LanRadio, radio == ids::LanRadio);
    window.Check(ids::UsbRadio, radio == ids::UsbRadio);
    core->OnGatewayChoiceClicked();
  }
  bool RunUntil(const std::function<bool()>& condition, int timeoutMs = 10000) {
    return window.RunUntil(*core, condition, timeoutMs);
  }
  bool ModeBecomes(MonitorMode mode, int timeoutMs = 10000) {
    return RunUntil([&] { return core->Mode() == mode; }, timeoutMs);
  }
  const std::string& Value(int row) { return window[ids::RowValueLabels[static_cast<size_t>(row)]].text; }
  const std::string& Caption() { return window[ids::StartButton].text; }

  // The rows of the simulator's fixed report: 5 V, a broken wire, then the
  // inputs 1, 0, 0 as red, black, black indicators.
  void ExpectFixedReportRows() {
    ASSERT_TRUE(RunUntil([&] { return Value(0) == " 5.0000 V"; }));
    EXPECT_EQ(Value(1), "断線");
    EXPECT_FALSE(window[ids::RowIndicators[0]].shown);
    EXPECT_TRUE(window[ids::RowValueLabels[0]].shown);
    EXPECT_TRUE(window[ids::RowIndicators[2]].shown);
    EXPECT_FALSE(window[ids::RowValueLabels[2]].shown);
    EXPECT_GT(window[ids::RowIndicators[2]].invalidations, 0);
    // The fills, and their words for screen readers, once a look falls
    // between two reports: while the receive thread writes the next one, its
    // rows may still be empty (grey), until the refresh after it.
    EXPECT_TRUE(RunUntil([&] {
      return core->IndicatorFill(2) == kRedBrush && core->IndicatorFill(3) == kBlackBrush &&
             core->IndicatorFill(4) == kBlackBrush && core->IndicatorState(2) == "オン" &&
             core->IndicatorState(3) == "オフ";
    }));
    // The same report again and again repaints nothing.
    const int painted = window[ids::RowIndicators[2]].invalidations;
    window.RunFor(*core, 300);
    EXPECT_EQ(window[ids::RowIndicators[2]].invalidations, painted);
    EXPECT_EQ(window[ids::NodeStatus].text, "node : [ 26 ]    /    KT-200    ID : 3    ");
    EXPECT_EQ(window[ids::ReceiveTime].text.rfind("受信 : ", 0), 0u);
  }

  void RunWholeSession() {
    core->OnStartClicked();
    EXPECT_EQ(core->Mode(), MonitorMode::Connecting);
    EXPECT_EQ(Caption(), "中断");
    EXPECT_FALSE(window[ids::LanRadio].enabled);
    ASSERT_TRUE(ModeBecomes(MonitorMode::Receiving));
    EXPECT_EQ(Caption(), "切断");
    EXPECT_TRUE(window[ids::RowNameEdits[0]].enabled);
    EXPECT_TRUE(window[ids::NodeStatus].enabled);
    EXPECT_TRUE(window[ids::VersionText].shown);
    EXPECT_FALSE(window[ids::Progress].shown);
    ExpectFixedReportRows();

    core->OnStartClicked();  // stop
    EXPECT_EQ(core->Mode(), MonitorMode::Idle);
    EXPECT_EQ(Caption(), "接続");
    EXPECT_FALSE(window[ids::RowNameEdits[0]].enabled);
    EXPECT_FALSE(window[ids::NodeStatus].enabled);
    EXPECT_EQ(Value(0), " 5.0000 V");  // the last texts stay
    EXPECT_TRUE(window[ids::LanRadio].enabled);
    // Indicators painted from now on show the ordinary background.
    EXPECT_EQ(core->IndicatorFill(2), std::nullopt);
    EXPECT_EQ(core->IndicatorState(2), "");
  }

  RecordingWindow window;
  test::ScriptedDevices* devices = nullptr;
  std::unique_ptr<MonitorCore> core;
};

TEST_F(CoreSession, ControlStatesFollowTheModeAndTheGatewayChoice) {
  pelorin::test::SimProcess silent({"--tcp", "127.0.0.1:0", "--fault", "silent"});
  Open();
  const struct {
    const char* state;
    int radio;
    bool connecting;
    bool addressAndPort, portList, radios, rows;
  } cases[] = {
      {"Idle, LAN", ids::LanRadio, false, true, false, true, false},
      {"Idle, USB", ids::UsbRadio, false, false, true, true, false},
      {"Connecting", ids::LanRadio, true, false, false, false, false},
  };
  for (const auto& c : cases) {
    Choose(c.radio);
    if (c.connecting) {
      ConnectTo("127.0.0.1", silent.endpoint());
      core->OnStartClicked();
      ASSERT_EQ(core->Mode(), MonitorMode::Connecting);
    }
    for (int id : {ids::AddressEdit, ids::PortEdit}) {
      EXPECT_EQ(window[id].enabled, c.addressAndPort) << c.state << " " << id;
    }
    EXPECT_EQ(window[ids::PortList].enabled, c.portList) << c.state;
    EXPECT_EQ(window[ids::LanRadio].enabled, c.radios) << c.state;
    EXPECT_EQ(window[ids::UsbRadio].enabled, c.radios) << c.state;
    for (size_t row = 0; row < ids::RowNameEdits.size(); ++row) {
      for (int id : {ids::RowNameEdits[row], ids::RowIndicators[row], ids::RowValueLabels[row]}) {
        EXPECT_EQ(window[id].enabled, c.rows) << c.state << " " << id;
      }
    }
  }
  core->OnStartClicked();  // abort
  ASSERT_TRUE(ModeBecomes(MonitorMode::Idle, 2000));
  EXPECT_FALSE(window[ids::Progress].shown);
  EXPECT_TRUE(window[ids::VersionText].shown);
  EXPECT_EQ(Caption(), "接続");
  EXPECT_TRUE(window.messages.empty()) << "an abort shows no message";
}

TEST_F(CoreSession, ProgressBarStandsInForTheVersionWhileConnecting) {
  pelorin::test::SimProcess sim({"--tcp", "127.0.0.1:0", "--fault", "silent"});
  Open();
  ConnectTo("127.0.0.1", sim.endpoint());
  core->OnStartClicked();
  ASSERT_TRUE(RunUntil([&] { return window[ids::Progress].shown; }));
  EXPECT_FALSE(window[ids::VersionText].shown);
  EXPECT_EQ(Caption(), "中断");
  core->OnStartClicked();  // abort
  ASSERT_TRUE(ModeBecomes(MonitorMode::Idle, 2000));
}

TEST_F(CoreSession, OverTcpAndOverAPtyChosenFromThePortList) {
  for (const bool overPty : kOverPty) {
    pelorin::test::SimProcess sim(
        overPty ? std::vector<std::string>{"--pty", "--rate", "50", "--fixed-report"}
                : std::vector<std::string>{"--tcp", "127.0.0.1:0", "--rate", "50", "--fixed-report"});
    auto scripted = std::make_unique<test::ScriptedDevices>();
    if (overPty) scripted->ports.push_back({sim.endpoint(), "Simulated gateway", true, ""});
    Open(std::move(scripted));
    if (overPty) {
      Choose(ids::UsbRadio);
      EXPECT_TRUE(window[ids::PortList].enabled);
      EXPECT_FALSE(window[ids::AddressEdit].enabled);
      ASSERT_EQ(window[ids::PortList].items.size(), 1u);
      EXPECT_EQ(window[ids::PortList].selection, 0);
      EXPECT_NE(window[ids::PortList].items[0].find(sim.endpoint()), std::string::npos);
    } else {
      ConnectTo("  127.0.0.1 ", sim.endpoint());
    }
    RunWholeSession();
    EXPECT_TRUE(window.messages.empty());
    core.reset();
  }
}

#if !defined(_WIN32)
TEST_F(CoreSession, AGatewayPluggedBackInUnderANewNodeIsFoundAgain) {
  auto first = std::make_unique<pelorin::test::SimProcess>(
      std::vector<std::string>{"--pty", "--rate", "50", "--fixed-report"});
  auto scripted = std::make_unique<test::ScriptedDevices>();
  scripted->ports.push_back({first->endpoint(), "Gateway", true, "usb-gateway-0001"});
  Open(std::move(scripted));
  Choose(ids::UsbRadio);
  core->OnStartClicked();
  ASSERT_TRUE(ModeBecomes(MonitorMode::Receiving));
  ASSERT_TRUE(RunUntil([&] { return Value(0) == " 5.0000 V"; }));

  first.reset();  // the cable is pulled
  // Already running: it does not wait for a start command.
  pelorin::test::SimProcess second({"--pty", "--rate", "50", "--no-start-command"});
  devices->ports = {{second.endpoint(), "Gateway", true, "usb-gateway-0001"}};
  devices->Notify(DeviceSource::Change::PortArrived);  // while Receiving
  core->OnDeviceNotice();
  // The new gateway's reports differ from the fixed one: the link has found it.
  ASSERT_TRUE(RunUntil([&] { return Value(0) != " 5.0000 V"; }));
  EXPECT_EQ(core->Mode(), MonitorMode::Receiving);
  core->OnStartClicked();
}
#endif

TEST_F(CoreSession, FailedStartsShowTheirMessageAndStayIdle) {
  pelorin::test::LoopbackServer closed;
  const std::string refused = closed.port();
  closed.CloseListener();
  pelorin::test::SimProcess silent({"--tcp", "127.0.0.1:0", "--fault", "silent"});
  Open();
  const struct {
    std::string host;
    std::string port;
    std::string message;  // what the message starts with
    bool resolverCode = false;  // the message goes on with the resolver's code
  } cases[] = {
      {"127.0.0.1", refused, LinkErrorText(pelorin::test::kConnectionRefused)},
      {pelorin::test::kUnresolvableHost, refused, "通信エラー : ", true},
      {"127.0.0.1", silent.endpoint(), "通信エラー : 20003(タイムアウト)"},
      {" \t ", "10003", "LAN接続の場合、接続先アドレスを設定してください。"},
      {"127.0.0.1", "", "LAN接続の場合、接続先ポートを設定してください。"},
      // The system would take the number modulo 65536: 99999 is port 34463.
      {"127.0.0.1", "99999", "接続先ポートは1～65535の範囲で設定してください。"},
      {"127.0.0.1", "0", "接続先ポートは1～65535の範囲で設定してください。"},
  };
  for (const auto& c : cases) {
    window.messages.clear();
    ConnectTo(c.host, c.port);
    core->OnStartClicked();
    ASSERT_TRUE(RunUntil([&] { return !window.messages.empty(); })) << c.message;
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].rfind(c.message, 0), 0u) << window.messages[0];
    if (c.resolverCode) {
      EXPECT_TRUE(pelorin::test::IsResolverError(std::stoi(window.messages[0].substr(c.message.size()))))
          << window.messages[0];
    }
    ASSERT_TRUE(ModeBecomes(MonitorMode::Idle));
    EXPECT_TRUE(window[ids::AddressEdit].enabled);
    EXPECT_TRUE(window[ids::LanRadio].enabled);
    EXPECT_EQ(Caption(), "接続");
  }
  window.messages.clear();
  Choose(ids::UsbRadio);  // no port to choose
  core->OnStartClicked();
  EXPECT_EQ(window.messages, std::vector<std::string>{"接続先を選択してください。"});
}

// The last session's report stays after a stop, but a new start does not
// show it as if the new gateway had sent it.
TEST_F(CoreSession, ANewStartShowsNothingOfTheLastSession) {
  pelorin::test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "50", "--fixed-report"});
  pelorin::test::SimProcess silent({"--tcp", "127.0.0.1:0", "--fault", "silent"});
  Open();
  ConnectTo("127.0.0.1", sim.endpoint());
  core->OnStartClicked();
  ASSERT_TRUE(ModeBecomes(MonitorMode::Receiving));
  ASSERT_TRUE(RunUntil([&] { return Value(0) == " 5.0000 V"; }));
  core->OnStartClicked();  // stop
  EXPECT_EQ(Value(0), " 5.0000 V");
  ConnectTo("127.0.0.1", silent.endpoint());
  core->OnStartClicked();
  ASSERT_EQ(core->Mode(), MonitorMode::Connecting);
  for (size_t row = 0; row < ids::RowValueLabels.size(); ++row) {
    EXPECT_EQ(Value(static_cast<int>(row)), "") << row;
    EXPECT_TRUE(window[ids::RowIndicators[row]].shown) << row;
  }
  EXPECT_EQ(window[ids::NodeStatus].text, "");
  EXPECT_EQ(window[ids::ReceiveTime].text, "");
  core->OnStartClicked();  // abort
  ASSERT_TRUE(ModeBecomes(MonitorMode::Idle));
}

// Reports that change every row a hundred times a second are told to a
// screen reader at most once a second per row, and to nobody when no
// assistive tool listens.
TEST_F(CoreSession, RowChangesAreToldCalmlyAndOnlyToAListener) {
  pelorin::test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "100"});
  Open();
  ConnectTo("127.0.0.1", sim.endpoint());
  core->OnStartClicked();
  ASSERT_TRUE(ModeBecomes(MonitorMode::Receiving));
  window.RunFor(*core, 1500);
  EXPECT_TRUE(window.announcements.empty());
  window.listening = true;
  window.RunFor(*core, 3500);
  core->OnStartClicked();  // stop
  std::map<size_t, std::vector<RecordingWindow::Announcement>> byRow;
  for (const auto& told : window.announcements) {
    for (size_t row = 0; row < ids::RowValueLabels.size(); ++row) {
      if (told.id == ids::RowValueLabels[row] || told.id == ids::RowIndicators[row]) byRow[row].push_back(told);
    }
  }
  EXPECT_EQ(byRow.size(), ids::RowValueLabels.size());
  size_t total = 0;
  for (const auto& [row, told] : byRow) {
    total += told.size();
    for (size_t i = 1; i < told.size(); ++i) {
      EXPECT_GE(told[i].at - told[i - 1].at, RowAnnouncer::kCalmInterval) << "row " << row;
    }
  }
  EXPECT_EQ(total, window.announcements.size());  // rows only
  EXPECT_GT(total, ids::RowValueLabels.size());    // changes after the first words too
}

TEST_F(CoreSession, RepeatedStartsStopsAndAbortsLeaveNothingBehind) {
  pelorin::test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "200", "--fixed-report"});
  pelorin::test::SimProcess silent({"--tcp", "127.0.0.1:0", "--fault", "silent"});
  Open();
  const int descriptors = pelorin::test::LinkDescriptorCount();

  ConnectTo("127.0.0.1", sim.endpoint());
  for (int cycle = 0; cycle < 200; ++cycle) {
    core->OnStartClicked();
    ASSERT_TRUE(ModeBecomes(MonitorMode::Receiving)) << cycle;
    core->OnStartClicked();
    ASSERT_EQ(core->Mode(), MonitorMode::Idle) << cycle;
  }
  ConnectTo("127.0.0.1", silent.endpoint());
  for (int cycle = 0; cycle < 50; ++cycle) {
    core->OnStartClicked();
    ASSERT_EQ(core->Mode(), MonitorMode::Connecting) << cycle;
    core->OnStartClicked();
    ASSERT_TRUE(ModeBecomes(MonitorMode::Idle, 3000)) << cycle;
  }
  EXPECT_TRUE(window.messages.empty());
  // The last worker ends right after its last word to the window.
  EXPECT_TRUE(RunUntil([&] { return pelorin::test::PelorinThreadCount() == 0; }, 2000));
  EXPECT_EQ(pelorin::test::LinkDescriptorCount(), descriptors);
}

TEST_F(CoreSession, ShutdownInAnyModeEndsEveryThread) {
  pelorin::test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "200", "--fixed-report"});
  pelorin::test::SimProcess silent({"--tcp", "127.0.0.1:0", "--fault", "silent"});
  for (const std::string* port : {&sim.endpoint(), &silent.endpoint()}) {
    Open();
    ConnectTo("127.0.0.1", *port);
    core->OnStartClicked();
    if (port == &sim.endpoint()) {
      ASSERT_TRUE(ModeBecomes(MonitorMode::Receiving));
    }
    EXPECT_GE(pelorin::test::PelorinThreadCount(), 1);
    core.reset();
    EXPECT_TRUE(pelorin::test::PelorinThreadsGone());
  }
}

}  // namespace
}  // namespace pelorin::monitor
