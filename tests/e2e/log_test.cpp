// The CSV log from the window: every report the simulator sends while logging
// is on becomes exactly one whole line, however fast they come.

#include "control_table.h"
#include "cp932_encoder.h"
#include "frame_builder.h"
#include "quorvane_dlg.h"
#include "record_format.h"
#include "report_decoder.h"
#include "sim_process.h"
#include "ui_test_support.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

namespace pelorin::ui {
namespace {

using test::Click;
using test::WaitUntil;

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

std::vector<std::string> FileLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  const std::string text = content.str();
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  if (start != text.size()) lines.push_back("(unterminated) " + text.substr(start));
  return lines;
}

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

class Logging : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/pelorin-e2e-XXXXXX";
    directory = mkdtemp(name);
    path = directory + "/records.csv";
    window = Open();
  }
  void TearDown() override {
    window.reset();
    unlink(path.c_str());
    rmdir(directory.c_str());
  }
  std::unique_ptr<CQuorvaneDlg> Open() {
    auto w = std::make_unique<CQuorvaneDlg>(QStringLiteral("/opt/pelorin-1.0/bin/pelorin"),
                                            std::make_unique<test::ScriptedDevices>());
    w->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    return w;
  }
  QCheckBox* Box(CQuorvaneDlg& w) { return qobject_cast<QCheckBox*>(w.Control(ids::LoggingCheck)); }
  QWidget* Browse(CQuorvaneDlg& w) { return w.Control(ids::BrowseButton); }
  void StartSession(const std::string& port) {
    qobject_cast<QLineEdit*>(window->Control(ids::AddressEdit))->setText(QStringLiteral("127.0.0.1"));
    qobject_cast<QLineEdit*>(window->Control(ids::PortEdit))->setText(QString::fromStdString(port));
    Click(window->Control(ids::StartButton));
  }

  test::MessageBoxAnswerer boxes;
  std::string directory;
  std::string path;
  std::unique_ptr<CQuorvaneDlg> window;
};

TEST_F(Logging, HundredThousandReportsAsFastAsTheyComeLoseNothing) {
  constexpr size_t kReports = 100000;
  pelorin::test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "0", "--count",
                                 std::to_string(kReports), "--seed", "5"});
  window->SetLogPath(QString::fromStdString(path));
  Click(Box(*window));
  ASSERT_TRUE(Box(*window)->isChecked());
  EXPECT_FALSE(Browse(*window)->isEnabled());
  StartSession(sim.endpoint());
  ASSERT_TRUE(WaitUntil([&] { return FileLines(path).size() >= kReports + 1; }, 120000));
  QThread::msleep(200);
  Click(window->Control(ids::StartButton));  // stop
  Click(Box(*window));
  EXPECT_TRUE(Browse(*window)->isEnabled());

  const std::vector<std::string> lines = FileLines(path);
  ASSERT_EQ(lines.size(), kReports + 1);
  EXPECT_EQ(lines[0].rfind("\x93\xFA\x95\x74,", 0), 0u);  // 日付,...
  const std::vector<std::string> expected = ExpectedRecords(5, kReports);
  for (size_t i = 0; i < kReports; ++i) {
    ASSERT_EQ(lines[i + 1].substr(20), expected[i]) << "record " << i;
  }
  EXPECT_TRUE(boxes.texts.isEmpty());
}

TEST_F(Logging, SwitchingOnAndOffWhileReportsComeKeepsEveryLineWhole) {
  constexpr size_t kReports = 30000;
  pelorin::test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "20000", "--count",
                                 std::to_string(kReports), "--seed", "9"});
  window->SetLogPath(QString::fromStdString(path));
  StartSession(sim.endpoint());
  ASSERT_TRUE(WaitUntil([&] { return window->Mode() == MonitorMode::Receiving; }));
  for (int toggle = 0; toggle < 60; ++toggle) {
    Click(Box(*window));
    WaitUntil([] { return false; }, 15);
  }
  WaitUntil([] { return false; }, 1500);  // the simulator has sent everything
  if (Box(*window)->isChecked()) Click(Box(*window));

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

TEST_F(Logging, TheDefaultPathLiesNextToTheProgram) {
  EXPECT_EQ(window->LogPath(), QStringLiteral("/opt/pelorin-1.0/bin/pelorin.csv"));
  EXPECT_EQ(qobject_cast<QLabel*>(window->Control(ids::LogPathText))->text(),
            QStringLiteral("/opt/pelorin-1.0/bin/pelorin.csv"));
}

TEST_F(Logging, AFileThatCannotBeOpenedLeavesLoggingOff) {
  // The default path's folder does not exist here.
  Click(Box(*window));
  EXPECT_EQ(boxes.texts, QStringList{QStringLiteral("ログファイルが開けません\r\n")});
  EXPECT_FALSE(Box(*window)->isChecked());
  EXPECT_TRUE(Browse(*window)->isEnabled());
}

TEST_F(Logging, ASecondWindowCannotLogToTheSameFile) {
  window->SetLogPath(QString::fromStdString(path));
  Click(Box(*window));
  ASSERT_TRUE(Box(*window)->isChecked());
  auto second = Open();
  second->SetLogPath(QString::fromStdString(path));
  Click(Box(*second));
  EXPECT_EQ(boxes.texts, QStringList{QStringLiteral("ログファイルが開けません\r\n")});
  EXPECT_FALSE(Box(*second)->isChecked());
}

TEST_F(Logging, AFailedWriteSwitchesLoggingOffAndSaysSo) {
  pelorin::test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "50", "--fixed-report"});
  window->SetLogPath(QString::fromStdString(path));
  {
    const NoRoomForFiles full;
    Click(Box(*window));
    ASSERT_TRUE(Box(*window)->isChecked());
    StartSession(sim.endpoint());
    ASSERT_TRUE(WaitUntil([&] { return !boxes.texts.isEmpty(); }));
  }
  EXPECT_TRUE(FileLines(path).empty());  // not even part of a line
  EXPECT_EQ(boxes.texts, QStringList{QStringLiteral("ログファイルに書き込めません\r\n")});
  EXPECT_FALSE(Box(*window)->isChecked());
  EXPECT_TRUE(Browse(*window)->isEnabled());
  // Monitoring goes on.
  EXPECT_TRUE(WaitUntil([&] { return window->Mode() == MonitorMode::Receiving; }));
}

TEST_F(Logging, BrowseOffersTheCurrentPathAndTakesTheChosenOne) {
  window->SetLogPath(QString::fromStdString(directory + "/earlier.csv"));
  bool offered = false;
  QTimer answer;
  answer.setInterval(20);
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    offered = dialog->defaultSuffix() == QStringLiteral("csv") &&
              dialog->nameFilters() == QStringList{QStringLiteral("CSV file (*.csv)"),
                                                   QStringLiteral("all files(*.*)")} &&
              dialog->acceptMode() == QFileDialog::AcceptSave &&
              dialog->selectedFiles() == QStringList{window->LogPath()};
    // The user types a new name over the offered one.
    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("chosen"));
    QMetaObject::invokeMethod(dialog, "accept");
  });
  answer.start();
  Click(Browse(*window));
  EXPECT_TRUE(offered);
  EXPECT_EQ(window->LogPath(), QString::fromStdString(directory + "/chosen.csv"));
  EXPECT_EQ(qobject_cast<QLabel*>(window->Control(ids::LogPathText))->text(), window->LogPath());
}

}  // namespace
}  // namespace pelorin::ui
