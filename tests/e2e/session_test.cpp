// Whole sessions of the real Qt window, offscreen, against pelorin-gateway-sim
// over loopback TCP: one to its end, one that fails with its message, and the
// window closed in every mode. The session rules themselves are the monitor
// core's and are tested there.

#include "control_table.h"
#include "link_error.h"
#include "loopback.h"
#include "process_counts.h"
#include "quorvane_dlg.h"
#include "row_value_label.h"
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
#include <iterator>
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
    return dynamic_cast<RowValueLabel&>(*window->Control(ids::RowValueLabels[static_cast<size_t>(row)])).Text();
  }
  // The colour an indicator is painted with, at its centre.
  QColor IndicatorColour(int row) {
    QWidget* indicator = window->Control(ids::RowIndicators[static_cast<size_t>(row)]);
    const QImage image = indicator->grab().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
  }
  // Shown to the user and to assistive tools: of a row's indicator and value,
  // the one not shown is left blank rather than hidden.
  bool Visible(int id) {
    return !QAccessible::queryAccessibleInterface(window->Control(id))->state().invisible;
  }
  void ClickStart() { Click(window->Control(ids::StartButton)); }

  // The rows of the simulator's fixed report: 5 V, a broken wire, then the
  // inputs 1, 0, 0 as red, black, black indicators.
  void ExpectFixedReportRows() {
    ASSERT_TRUE(WaitUntil([&] { return ValueText(0) == QStringLiteral(" 5.0000 V"); }));
    EXPECT_EQ(ValueText(1), QStringLiteral("断線"));
    EXPECT_FALSE(Visible(ids::RowIndicators[0]));
    EXPECT_EQ(IndicatorColour(0), window->palette().color(QPalette::Window));
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

// What a screen reader reads of a receiving window: each row as its name
// (the edit that labels it) and what it shows, the indicators as images named
// by their state in words. What a tool that listens is told is tested through
// the accessibility bus.

TEST_F(Session, AScreenReaderReadsEachRowAsItsNameAndWhatItShows) {
  pelorin::test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "100", "--fixed-report"});
  pelorin::test::SimProcess mute({"--tcp", "127.0.0.1:0", "--count", "0"});
  Open();
  Edit(ids::RowNameEdits[0])->setText(QStringLiteral("温度 1"));
  ConnectTo("127.0.0.1", sim.endpoint());
  ClickStart();
  ASSERT_TRUE(WaitUntil([&] { return window->Mode() == MonitorMode::Receiving; }));
  ExpectFixedReportRows();
  const auto read = [&](int id) { return QAccessible::queryAccessibleInterface(window->Control(id)); };
  const struct {
    int shown, hidden;
    QAccessible::Role role;
    QString name;
  } rows[] = {
      {ids::RowValueLabels[0], ids::RowIndicators[0], QAccessible::StaticText, QStringLiteral(" 5.0000 V")},
      {ids::RowValueLabels[1], ids::RowIndicators[1], QAccessible::StaticText, QStringLiteral("断線")},
      {ids::RowIndicators[2], ids::RowValueLabels[2], QAccessible::Graphic, QStringLiteral("オン")},
      {ids::RowIndicators[3], ids::RowValueLabels[3], QAccessible::Graphic, QStringLiteral("オフ")},
      {ids::RowIndicators[4], ids::RowValueLabels[4], QAccessible::Graphic, QStringLiteral("オフ")},
  };
  for (size_t row = 0; row < std::size(rows); ++row) {
    QAccessibleInterface* face = read(rows[row].shown);
    EXPECT_EQ(face->text(QAccessible::Name), rows[row].name) << row;
    EXPECT_EQ(face->role(), rows[row].role) << row;
    EXPECT_TRUE(face->text(QAccessible::Description).isEmpty()) << row;
    const auto labels = face->relations(QAccessible::Label);
    ASSERT_EQ(labels.size(), 1) << row;
    EXPECT_EQ(labels[0].first->object(), window->Control(ids::RowNameEdits[row])) << row;
    if (QAccessibleTextInterface* text = face->textInterface()) {
      EXPECT_EQ(text->text(0, text->characterCount()), rows[row].name) << row;
      // Its first character where it stands on the screen.
      const QWidget* shown = window->Control(rows[row].shown);
      EXPECT_TRUE(QRect(shown->mapToGlobal(QPoint()), shown->size()).contains(text->characterRect(0).center()))
          << row;
    } else {
      EXPECT_EQ(rows[row].role, QAccessible::Graphic) << row;
    }
    EXPECT_TRUE(read(rows[row].hidden)->state().invisible) << row;
  }
  EXPECT_EQ(read(ids::RowNameEdits[0])->text(QAccessible::Value), QStringLiteral("温度 1"));
  for (int id : {ids::NodeStatus, ids::ReceiveTime}) {
    const QString shown = qobject_cast<QLabel*>(window->Control(id))->text();
    EXPECT_EQ(read(id)->text(QAccessible::Name), shown) << id;
    EXPECT_EQ(read(id)->textInterface()->text(0, 8), shown.left(8)) << id;
  }

  // A gateway that sends nothing: live indicators without data read as such.
  ClickStart();  // stop
  ConnectTo("127.0.0.1", mute.endpoint());
  ClickStart();
  ASSERT_TRUE(WaitUntil([&] { return window->Mode() == MonitorMode::Receiving; }));
  EXPECT_EQ(read(ids::RowIndicators[0])->text(QAccessible::Name), QStringLiteral("データなし"));
  ClickStart();  // stop
  EXPECT_EQ(read(ids::RowIndicators[0])->text(QAccessible::Name), QStringLiteral("表示 1"));
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
    EXPECT_TRUE(pelorin::test::PelorinThreadsGone());
  }
}

}  // namespace
}  // namespace pelorin::ui
