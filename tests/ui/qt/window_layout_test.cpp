#include "control_table.h"
#include "dialog_units.h"
#include "fonts.h"
#include "path_label.h"
#include "qt_translation.h"
#include "quorvane_dlg.h"
#include "row_value_label.h"
#include "ui_test_support.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QTranslator>
#include <QKeyEvent>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

namespace pelorin::ui {
namespace {

using test::Type;

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  }

  template <typename T>
  T* Get(int id) {
    return qobject_cast<T*>(window.Control(id));
  }
  QString Text(int id) {
    if (auto* label = Get<QLabel>(id)) return label->text();
    if (auto* value = dynamic_cast<RowValueLabel*>(window.Control(id))) return value->Text();
    if (auto* edit = Get<QLineEdit>(id)) return edit->text();
    return Get<QAbstractButton>(id)->text();
  }

  CQuorvaneDlg window{QStringLiteral("/opt/pelorin/bin/pelorin"),
                      std::make_unique<test::ScriptedDevices>()};
};

TEST_F(Window, StartsIdleWithItsInitialTexts) {
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Pelorin"));
  EXPECT_EQ(window.ApplicationTitle(), QStringLiteral("pelorin"));
  EXPECT_EQ(window.Mode(), MonitorMode::Idle);
  EXPECT_EQ(Text(ids::StartButton), QStringLiteral("接続"));
  EXPECT_TRUE(Get<QRadioButton>(ids::LanRadio)->isChecked());
  EXPECT_FALSE(Get<QRadioButton>(ids::UsbRadio)->isChecked());
  EXPECT_EQ(Text(ids::PortEdit), QStringLiteral("10003"));
  EXPECT_EQ(Text(ids::AddressEdit), QString());
  EXPECT_TRUE(Get<QLineEdit>(ids::AddressEdit)->isEnabled());
  EXPECT_TRUE(Get<QLineEdit>(ids::PortEdit)->isEnabled());
  EXPECT_FALSE(Get<QComboBox>(ids::PortList)->isEnabled());
  EXPECT_FALSE(window.Control(ids::Progress)->isVisible());
  EXPECT_TRUE(window.Control(ids::VersionText)->isVisible());
  EXPECT_EQ(Text(ids::VersionText), QStringLiteral("Version 1.01"));
  EXPECT_FALSE(window.Control(ids::NodeLabel)->isVisible());
  EXPECT_FALSE(window.Control(ids::NodeEdit)->isVisible());
  EXPECT_EQ(Text(ids::LoggingCheck), QStringLiteral("ロギング有効"));
  EXPECT_EQ(Text(ids::BrowseButton), QStringLiteral("参照..."));
  EXPECT_EQ(Text(ids::NodeStatus), QString());
  EXPECT_EQ(Text(ids::ReceiveTime), QString());
  for (size_t row = 0; row < 5; ++row) {
    EXPECT_EQ(Text(ids::RowNameEdits[row]), QStringLiteral("入力 %1").arg(row + 1));
    EXPECT_FALSE(window.Control(ids::RowNameEdits[row])->isEnabled());
    EXPECT_TRUE(window.Control(ids::RowIndicators[row])->isVisible());
    EXPECT_EQ(Text(ids::RowValueLabels[row]), QString());
  }
  EXPECT_FALSE(window.windowIcon().isNull());
  EXPECT_EQ(QApplication::focusWidget(), window.Control(ids::LanRadio));
}

TEST_F(Window, EveryControlOfTheTableSitsAtItsDialogUnits) {
  const DialogUnits units(DialogFont());
  EXPECT_EQ(window.size(), QSize(units.ToX(315), units.ToY(302)));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  for (const ControlEntry& entry : ControlTable()) {
    if (entry.id == ids::kNone) continue;
    QWidget* control = window.Control(entry.id);
    ASSERT_NE(control, nullptr) << entry.id;
    EXPECT_EQ(control->property("controlId").toInt(), entry.id);
    const QRect expected = units.ToPixels(entry.x, entry.y, entry.width, entry.height);
    // Labels may only grow to the left, to keep their whole text.
    EXPECT_EQ(control->geometry().right(), expected.right()) << entry.id;
    EXPECT_EQ(control->geometry().top(), expected.top()) << entry.id;
    if (entry.kind != ControlKind::Label && entry.kind != ControlKind::DropDownList) {
      EXPECT_EQ(control->geometry(), expected) << entry.id;
    }
  }
  const QRect start = window.Control(ids::StartButton)->geometry();
  EXPECT_EQ(start, QRect(units.ToX(250), units.ToY(65), units.ToX(50), units.ToY(14)));
}

TEST_F(Window, EveryControlHasAnAccessibleName) {
  const auto name = [](QWidget* control) {
    return QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
  };
  for (QWidget* control : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (qobject_cast<QFrame*>(control) && static_cast<QFrame*>(control)->frameShape() == QFrame::HLine) {
      continue;  // a separator
    }
    EXPECT_FALSE(name(control).isEmpty()) << control->objectName().toStdString();
  }
  // A drop-down list is known by its name, not by the item it shows.
  auto* ports = Get<QComboBox>(ids::PortList);
  ports->addItem(QStringLiteral("USB Serial - /dev/ttyUSB0 [USB] (COM1)"));
  ports->setCurrentIndex(0);
  EXPECT_EQ(QAccessible::queryAccessibleInterface(ports)->text(QAccessible::Value), ports->currentText());
  const std::pair<int, QString> named[] = {
      {ids::AddressEdit, QStringLiteral("アドレス")},   {ids::PortEdit, QStringLiteral("ポート番号")},
      {ids::RowNameEdits[0], QStringLiteral("入力 1")}, {ids::RowIndicators[4], QStringLiteral("表示 5")},
      {ids::RowValueLabels[2], QStringLiteral("値 3")},  {ids::StartButton, QStringLiteral("接続")},
      {ids::PortList, QStringLiteral("シリアルポート")},
  };
  for (const auto& [id, expected] : named) EXPECT_EQ(name(window.Control(id)), expected) << id;
}

TEST_F(Window, LabelsShowTheirWholeText) {
  for (int id : {ids::AddressLabel, ids::PortLabel, ids::VersionText}) {
    auto* label = Get<QLabel>(id);
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width()) << id;
  }
}

// A new value repaints only the span of the old or the new text: what the
// window holds on screen afterwards (the offscreen platform gives its backing
// store) shows the new value and nothing of the longer one before it.
TEST_F(Window, AShorterValueLeavesNothingOfTheLongerOneOnScreen) {
  auto& value = dynamic_cast<RowValueLabel&>(*window.Control(ids::RowValueLabels[0]));
  value.SetShown(true);
  const auto onScreen = [&] {
    QTest::qWait(50);  // the repaint is posted
    return window.screen()->grabWindow(window.winId()).toImage().copy(value.geometry());
  };
  value.SetText(QStringLiteral("-123.4567 mA"));
  const QImage longer = onScreen();
  value.SetText(QStringLiteral(" 5.0 V"));
  const QImage shorter = onScreen();
  const QColor background = window.palette().color(QPalette::Window);
  const auto inked = [&](const QImage& image, int from, int to) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = from; x < to; ++x) count += image.pixelColor(x, y) != background;
    return count;
  };
  const int newEnd = value.fontMetrics().horizontalAdvance(value.Text()) + 2;
  EXPECT_GT(inked(longer, newEnd, longer.width()), 0);
  EXPECT_GT(inked(shorter, 0, newEnd), 0);
  EXPECT_EQ(inked(shorter, newEnd, shorter.width()), 0);
}

TEST_F(Window, ALongLogPathKeepsItsFileNameInSight) {
  QString path = QStringLiteral("/home/operator");
  for (int i = 0; i < 12; ++i) path += QStringLiteral("/measurements-2026-%1").arg(i);
  path += QStringLiteral("/records.csv");
  window.SetLogPath(path);
  auto* label = Get<PathLabel>(ids::LogPathText);
  EXPECT_EQ(label->text(), path);
  EXPECT_EQ(label->toolTip(), path);
  const QStringList lines = label->ShownText().split(u'\n');
  ASSERT_EQ(lines.size(), 2);
  for (const QString& line : lines) {
    EXPECT_LE(label->fontMetrics().horizontalAdvance(line), label->contentsRect().width());
  }
  EXPECT_TRUE(lines.front().startsWith(QStringLiteral("/home/operator/"))) << lines.front().toStdString();
  EXPECT_TRUE(lines.back().endsWith(QStringLiteral("/records.csv"))) << lines.back().toStdString();
}

TEST_F(Window, EditsKeepOneLineWithinTheirCodePage932Bytes) {
  enum How { Typed, Pasted };
  // What is pasted goes in at the start of the text before.
  const struct {
    int id;
    QString before;
    How how;
    QString entered;
    QString kept;
  } cases[] = {
      {ids::PortEdit, {}, Typed, QStringLiteral("123456"), QStringLiteral("12345")},
      {ids::PortEdit, {}, Typed, QStringLiteral("1a2-3 4"), QStringLiteral("1234")},
      {ids::AddressEdit, {}, Typed, QString(70, u'h'), QString(64, u'h')},
      {ids::AddressEdit, {}, Typed, QStringLiteral("ゲートウェイ1号機"), QStringLiteral("ゲートウェイ1号機")},
      {ids::RowNameEdits[0], {}, Typed, QStringLiteral("温度センサー一号機"), QStringLiteral("温度センサー一号")},
      {ids::RowNameEdits[1], {}, Typed, QStringLiteral("abcdefghijklmnopq"), QStringLiteral("abcdefghijklmnop")},
      {ids::RowNameEdits[2], {}, Typed, QStringLiteral("流量x😀ℵ"), QStringLiteral("流量x")},
      {ids::RowNameEdits[3], {}, Typed, QStringLiteral("流量,l/min"), QStringLiteral("流量l/min")},
      // A spreadsheet cell ends in CR LF.
      {ids::RowNameEdits[3], {}, Pasted, QStringLiteral("流量\r\n"), QStringLiteral("流量")},
      {ids::AddressEdit, QStringLiteral("-b"), Pasted, QStringLiteral("gw\t1\nsecond line"),
       QStringLiteral("gw1-b")},
      // Too long: what fits goes in, and a double-byte character is never split.
      {ids::PortEdit, {}, Pasted, QStringLiteral("123456"), QStringLiteral("12345")},
      {ids::RowNameEdits[4], {}, Pasted, QStringLiteral("abcdefghijklmno温"), QStringLiteral("abcdefghijklmno")},
      // Private-use characters that code page 932 holds as single bytes.
      {ids::RowNameEdits[4], {}, Pasted, QStringLiteral("\uF8F0\uF8F1\uF8F2\uF8F3abcdefghijklm"),
       QStringLiteral("\uF8F0\uF8F1\uF8F2\uF8F3abcdefghijkl")},
      {ids::RowNameEdits[0], QStringLiteral("入力 1"), Pasted, QStringLiteral("温度センサー一号機\r\n"),
       QStringLiteral("温度センサ入力 1")},
  };
  for (const auto& c : cases) {
    auto* edit = Get<QLineEdit>(c.id);
    edit->setEnabled(true);
    edit->setText(c.before);
    edit->setCursorPosition(0);
    edit->setFocus();
    if (c.how == Typed) {
      Type(edit, c.entered);
    } else {
      QGuiApplication::clipboard()->setText(c.entered);
      QTest::keySequence(edit, QKeySequence::Paste);
    }
    EXPECT_EQ(edit->text(), c.kept) << c.id << " " << c.entered.toStdString();
  }
}

TEST_F(Window, TheSaveDialogSpeaksJapaneseOffersTheCurrentPathAndTakesTheChosenOne) {
  QTranslator translator;
  ASSERT_TRUE(InstallJapaneseQtTexts(translator));
  char name[] = "/tmp/pelorin-browse-XXXXXX";
  const QString directory = QString::fromLocal8Bit(mkdtemp(name));
  window.SetLogPath(directory + QStringLiteral("/earlier.csv"));
  QString title;
  QString cancel;
  bool offered = false;
  QTimer answer;
  answer.setInterval(20);
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    title = dialog->windowTitle();
    cancel = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->text();
    offered = dialog->defaultSuffix() == QStringLiteral("csv") &&
              dialog->nameFilters() == QStringList{QStringLiteral("CSV file (*.csv)"),
                                                   QStringLiteral("all files(*.*)")} &&
              dialog->acceptMode() == QFileDialog::AcceptSave &&
              dialog->selectedFiles() == QStringList{window.LogPath()};
    // The user types a new name over the offered one.
    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("chosen"));
    QMetaObject::invokeMethod(dialog, "accept");
  });
  answer.start();
  test::Click(window.Control(ids::BrowseButton));
  EXPECT_EQ(title, QStringLiteral("名前を付けて保存"));
  EXPECT_EQ(cancel, QStringLiteral("キャンセル"));
  EXPECT_TRUE(offered);
  EXPECT_EQ(window.LogPath(), directory + QStringLiteral("/chosen.csv"));
  rmdir(directory.toLocal8Bit().constData());
}

TEST_F(Window, EnterNeverPressesAButtonOrClosesTheWindow) {
  int focused = 0;
  for (QWidget* widget : window.findChildren<QWidget*>()) {
    if (!widget->isVisible() || !widget->isEnabled() || widget->focusPolicy() == Qt::NoFocus) continue;
    widget->setFocus();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
      QTest::keyClick(widget, key);
      QApplication::processEvents();
      EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << widget->objectName().toStdString();
      EXPECT_TRUE(window.isVisible());
    }
    ++focused;
  }
  EXPECT_GE(focused, 5);
  EXPECT_EQ(window.Mode(), MonitorMode::Idle);
}

TEST_F(Window, EscapeEndsTheWindow) {
  Get<QLineEdit>(ids::AddressEdit)->setFocus();
  QTest::keyClick(window.Control(ids::AddressEdit), Qt::Key_Escape);
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(window.result(), QDialog::Rejected);
}

TEST_F(Window, TabFollowsTheTemplateOrder) {
  // In Idle with LAN chosen: the list and the disabled rows are skipped.
  const int expected[] = {ids::AddressEdit, ids::PortEdit, ids::StartButton,
                          ids::LoggingCheck, ids::BrowseButton, ids::LanRadio};
  window.Control(ids::LanRadio)->setFocus();
  for (int id : expected) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->property("controlId").toInt(), id);
  }
}

}  // namespace
}  // namespace pelorin::ui
