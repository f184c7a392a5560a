// Whole sessions: the real window, offscreen, against pelorin-gateway-sim over
// loopback TCP and over a pty registered as a COM port.

#include "control_table.h"
#include "link_error.h"
#include "loopback.h"
#include "quorvane_dlg.h"
#include "sim_process.h"
#include "ui_test_support.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>

namespace pelorin::ui {
namespace {

using test::Click;
using test::WaitUntil;

class Session : public ::testing::Test {
 protected:
  void Open(std::unique_ptr<test::ScriptedDevices> devices = nullptr) {
    if (!devices) devices = std::make_unique<test::ScriptedDevices>();
    this->devices = devices.get();
    window = std::make_unique<CQuorvaneDlg>(QStringLiteral("/opt/pelorin/bin/pelorin"),
                                            std::move(devices));
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }
  void ConnectTo(const std::string& host, const std::string& port) {
    Edit(ids::AddressEdit)->setText(QString::fromStdString(host));
    Edit(ids::PortEdit)->setText(QString::fromStdString(port));
  }

  QLineEdit* Edit(int id) { return qobject_cast<QLineEdit*>(window->Control(id)); }
  QString Caption() { return qobject_cast<QPushButton*>(window->Control(ids::StartButton))->text(); }
  QString ValueText(int row) {
    return qobject_cast<QLabel*>(window->Control(ids::RowValueLabels[static_cast<size_t>(row)]))->text();
  }
  // The colour an indicator is painted with, at its centre.
  QColor IndicatorColour(int row) {
    QWidget* indicator = window->Control(ids::RowIndicators[static_cast<size_t>(row)]);
    const QImage image = indicator->grab().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
  }
  bool Visible(int id) { return window->Control(id)->isVisible(); }
  void ClickStart() { Click(window->Control(ids::StartButton)); }

  // The rows of the simulator's fixed report: 5 V, a broken wire, then the
  // inputs 1, 0, 0 as red, black, black indicators.
  void ExpectFixedReportRows() {
    ASSERT_TRUE(WaitUntil([&] { return ValueText(0) == QStringLiteral(" 5.0000 V"); }));
    EXPECT_EQ(ValueText(1), QStringLiteral("断線"));
    // Named by its role, a value label tells assistive tools what it shows.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(window->Control(ids::RowValueLabels[1]))
                  ->text(QAccessible::Description),
              QStringLiteral("断線"));
    EXPECT_FALSE(Visible(ids::RowIndicators[0]));
    EXPECT_TRUE(Visible(ids::RowValueLabels[0]));
    EXPECT_TRUE(Visible(ids::RowIndicators[2]));
    EXPECT_FALSE(Visible(ids::RowValueLabels[2]));
    EXPECT_EQ(IndicatorColour(2), QColor(255, 0, 0));
    EXPECT_EQ(IndicatorColour(3), QColor(0, 0, 0));
    EXPECT_EQ(IndicatorColour(4), QColor(0, 0, 0));
    EXPECT_EQ(qobject_cast<QLabel*>(window->Control(ids::NodeStatus))->text(),
              QStringLiteral("node : [ 26 ]    /    KT-200    ID : 3    "));
    EXPECT_TRUE(qobject_cast<QLabel*>(window->Control(ids::ReceiveTime))->text().startsWith(
        QStringLiteral("受信 : ")));
  }

  void RunWholeSession() {
    ClickStart();
    EXPECT_EQ(window->Mode(), MonitorMode::Connecting);
    EXPECT_EQ(Caption(), QStringLiteral("中断"));
    EXPECT_FALSE(window->Control(ids::LanRadio)->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return window->Mode() == MonitorMode::Receiving; }));
    EXPECT_EQ(Caption(), QStringLiteral("切断"));
    EXPECT_TRUE(window->Control(ids::RowNameEdits[0])->isEnabled());
    EXPECT_TRUE(window->Control(ids::NodeStatus)->isEnabled());
    EXPECT_TRUE(Visible(ids::VersionText));
    EXPECT_FALSE(Visible(ids::Progress));
    ExpectFixedReportRows();

    ClickStart();  // stop
    EXPECT_EQ(window->Mode(), MonitorMode::Idle);
    EXPECT_EQ(Caption(), QStringLiteral("接続"));
    EXPECT_FALSE(window->Control(ids::RowNameEdits[0])->isEnabled());
    EXPECT_FALSE(window->Control(ids::NodeStatus)->isEnabled());
    EXPECT_EQ(ValueText(0), QStringLiteral(" 5.0000 V"));  // the last texts stay
    EXPECT_TRUE(window->Control(ids::LanRadio)->isEnabled());
    // Indicators painted from now on show the ordinary background.
    EXPECT_NE(IndicatorColour(2), QColor(255, 0, 0));
  }

  test::MessageBoxAnswerer boxes;
  test::ScriptedDevices* devices = nullptr;
  std::unique_ptr<CQuorvaneDlg> window;
};

TEST_F(Session, OverTcpFromStartToStop) {
  pelorin::test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "50", "--fixed-report"});
  Open();
  ConnectTo("  127.0.0.1 ", sim.endpoint());
  RunWholeSession();
  EXPECT_TRUE(boxes.texts.isEmpty());
}

TEST_F(Session, ProgressBarStandsInForTheVersionWhileConnecting) {
  pelorin::test::SimProcess sim({"--tcp", "127.0.0.1:0", "--fault", "silent"});
  Open();
  ConnectTo("127.0.0.1", sim.endpoint());
  ClickStart();
  ASSERT_TRUE(WaitUntil([&] { return Visible(ids::Progress); }));
  EXPECT_FALSE(Visible(ids::VersionText));
  EXPECT_EQ(Caption(), QStringLiteral("中断"));
  ClickStart();  // abort
  ASSERT_TRUE(WaitUntil([&] { return window->Mode() == MonitorMode::Idle; }, 2000));
  EXPECT_FALSE(Visible(ids::Progress));
  EXPECT_TRUE(Visible(ids::VersionText));
  EXPECT_EQ(Caption(), QStringLiteral("接続"));
  EXPECT_TRUE(boxes.texts.isEmpty()) << "an abort shows no message";
}

TEST_F(Session, OverAPtyChosenFromThePortList) {
  pelorin::test::SimProcess sim({"--pty", "--rate", "50", "--fixed-report"});
  auto devices = std::make_unique<test::ScriptedDevices>();
  devices->ports.push_back({sim.endpoint(), "Simulated gateway", true, ""});
  Open(std::move(devices));
  Click(window->Control(ids::UsbRadio));
  auto* list = qobject_cast<QComboBox*>(window->Control(ids::PortList));
  EXPECT_TRUE(list->isEnabled());
  EXPECT_FALSE(Edit(ids::AddressEdit)->isEnabled());
  ASSERT_EQ(list->count(), 1);
  EXPECT_TRUE(list->currentText().contains(QString::fromStdString(sim.endpoint())));
  RunWholeSession();
  EXPECT_TRUE(list->isEnabled());
}

TEST_F(Session, AGatewayPluggedBackInUnderANewNodeIsFoundAgain) {
  auto first = std::make_unique<pelorin::test::SimProcess>(
      std::vector<std::string>{"--pty", "--rate", "50", "--fixed-report"});
  auto scripted = std::make_unique<test::ScriptedDevices>();
  scripted->ports.push_back({first->endpoint(), "Gateway", true, "usb-gateway-0001"});
  Open(std::move(scripted));
  Click(window->Control(ids::UsbRadio));
  ClickStart();
  ASSERT_TRUE(WaitUntil([&] { return window->Mode() == MonitorMode::Receiving; }));
  ASSERT_TRUE(WaitUntil([&] { return ValueText(0) == QStringLiteral(" 5.0000 V"); }));

  first.reset();  // the cable is pulled
  // Already running: it does not wait for a start command.
  pelorin::test::SimProcess second({"--pty", "--rate", "50", "--no-start-command"});
  devices->ports = {{second.endpoint(), "Gateway", true, "usb-gateway-0001"}};
  devices->Notify(DeviceSource::Change::PortArrived);  // while Receiving
  // The new gateway's reports differ from the fixed one: the link has found it.
  ASSERT_TRUE(WaitUntil([&] { return ValueText(0) != QStringLiteral(" 5.0000 V"); }, 10000));
  EXPECT_EQ(window->Mode(), MonitorMode::Receiving);
  ClickStart();
}

TEST_F(Session, SilentGatewayTimesOutWithItsMessage) {
  pelorin::test::SimProcess sim({"--tcp", "127.0.0.1:0", "--fault", "silent"});
  Open();
  ConnectTo("127.0.0.1", sim.endpoint());
  ClickStart();
  ASSERT_TRUE(WaitUntil([&] { return !boxes.texts.isEmpty(); }, 10000));
  EXPECT_EQ(boxes.texts, QStringList{QStringLiteral("通信エラー : 20003(タイムアウト)")});
  ASSERT_TRUE(WaitUntil([&] { return window->Mode() == MonitorMode::Idle; }));
  EXPECT_EQ(Caption(), QStringLiteral("接続"));
  EXPECT_TRUE(Edit(ids::AddressEdit)->isEnabled());
}

TEST_F(Session, FailedOpenShowsTheErrorAndStaysIdle) {
  pelorin::test::LoopbackServer closed;
  const std::string port = closed.port();
  closed.CloseListener();
  const struct {
    std::string host;
    QString message;
  } cases[] = {
      {"127.0.0.1", QString::fromStdString(LinkErrorText(ECONNREFUSED))},
      {pelorin::test::kUnresolvableHost, QStringLiteral("通信エラー : -")},
  };
  Open();
  for (const auto& c : cases) {
    boxes.texts.clear();
    ConnectTo(c.host, port);
    ClickStart();
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_TRUE(boxes.texts[0].startsWith(c.message)) << boxes.texts[0].toStdString();
    EXPECT_EQ(window->Mode(), MonitorMode::Idle);
    EXPECT_TRUE(Edit(ids::AddressEdit)->isEnabled());
    EXPECT_TRUE(window->Control(ids::LanRadio)->isEnabled());
    EXPECT_EQ(Caption(), QStringLiteral("接続"));
  }
}

TEST_F(Session, MissingInputsAreAskedFor) {
  Open();
  const struct {
    QString address;
    QString port;
    bool usb;
    QString message;
  } cases[] = {
      {QStringLiteral(" \t "), QStringLiteral("10003"), false,
       QStringLiteral("LAN接続の場合、接続先アドレスを設定してください。")},
      {QStringLiteral("127.0.0.1"), QString(), false,
       QStringLiteral("LAN接続の場合、接続先ポートを設定してください。")},
      {QString(), QString(), true, QStringLiteral("接続先を選択してください。")},
  };
  for (const auto& c : cases) {
    boxes.texts.clear();
    Edit(ids::AddressEdit)->setText(c.address);
    Edit(ids::PortEdit)->setText(c.port);
    Click(window->Control(c.usb ? ids::UsbRadio : ids::LanRadio));
    ClickStart();
    EXPECT_EQ(boxes.texts, QStringList{c.message});
    EXPECT_EQ(window->Mode(), MonitorMode::Idle);
  }
}

TEST_F(Session, RepeatedStartsStopsAndAbortsLeaveNothingBehind) {
  pelorin::test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "200", "--fixed-report"});
  pelorin::test::SimProcess silent({"--tcp", "127.0.0.1:0", "--fault", "silent"});
  Open();
  const int descriptors = pelorin::test::LinkDescriptorCount();

  ConnectTo("127.0.0.1", sim.endpoint());
  for (int cycle = 0; cycle < 200; ++cycle) {
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return window->Mode() == MonitorMode::Receiving; })) << cycle;
    ClickStart();
    ASSERT_EQ(window->Mode(), MonitorMode::Idle) << cycle;
  }
  ConnectTo("127.0.0.1", silent.endpoint());
  for (int cycle = 0; cycle < 50; ++cycle) {
    ClickStart();
    ASSERT_EQ(window->Mode(), MonitorMode::Connecting) << cycle;
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return window->Mode() == MonitorMode::Idle; }, 3000)) << cycle;
  }
  EXPECT_TRUE(boxes.texts.isEmpty());
  // The last worker ends right after its last word to the window.
  EXPECT_TRUE(WaitUntil([&] { return pelorin::test::PelorinThreadCount() == 0; }, 2000));
  EXPECT_EQ(pelorin::test::LinkDescriptorCount(), descriptors);
}

TEST_F(Session, ClosingTheWindowInAnyModeEndsEveryThread) {
  pelorin::test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "200", "--fixed-report"});
  pelorin::test::SimProcess silent({"--tcp", "127.0.0.1:0", "--fault", "silent"});
  for (const std::string* port : {&sim.endpoint(), &silent.endpoint()}) {
    Open();
    ConnectTo("127.0.0.1", *port);
    ClickStart();
    if (port == &sim.endpoint()) {
      ASSERT_TRUE(WaitUntil([&] { return window->Mode() == MonitorMode::Receiving; }));
    }
    EXPECT_GE(pelorin::test::PelorinThreadCount(), 1);
    window->reject();  // Escape or the close box
    window.reset();
    QApplication::processEvents();
    EXPECT_EQ(pelorin::test::PelorinThreadCount(), 0);
  }
}

}  // namespace
}  // namespace pelorin::ui
