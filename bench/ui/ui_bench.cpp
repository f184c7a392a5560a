// The window under a flood: the simulator sends 20,000 reports a second for
// ten seconds while the window receives. Measures how late a 10 ms timer
// fires (event-loop stalls), how often the rows are really painted, the
// longest time between two paints of the rows, and the CPU used.

#include "control_table.h"
#include "no_devices.h"
#include "quorvane_dlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace pelorin::ui;
using namespace pelorin::monitor;

// Counts the refreshes painted (paints of the row controls and the status
// line less than 2 ms apart are one refresh) and the longest pause between two.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(const std::vector<QWidget*>& widgets) {
    for (QWidget* widget : widgets) widget->installEventFilter(this);
    clock_.start();
  }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::Paint || !counting) return false;
    const qint64 now = clock_.elapsed();
    if (paints > 0 && now - lastMs_ < 2) return false;
    if (paints > 0) longestGapMs = std::max(longestGapMs, now - lastMs_);
    lastMs_ = now;
    ++paints;
    return false;
  }
  bool counting = false;
  long paints = 0;
  qint64 longestGapMs = 0;

 private:
  QElapsedTimer clock_;
  qint64 lastMs_ = 0;
};

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int StartSimulator(int port) {
  const int pid = fork();
  if (pid == 0) {
    const std::string endpoint = "127.0.0.1:" + std::to_string(port);
    execl(PELORIN_SIM_PATH, PELORIN_SIM_PATH, "--tcp", endpoint.c_str(), "--rate", "20000",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  usleep(300 * 1000);
  return pid;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  constexpr int kPort = 10093;
  const int sim = StartSimulator(kPort);

  CQuorvaneDlg window(QStringLiteral("/tmp/pelorin-bench"), std::make_unique<pelorin::bench::NoDevices>());
  window.show();
  static_cast<QLineEdit*>(window.Control(ids::AddressEdit))->setText(QStringLiteral("127.0.0.1"));
  static_cast<QLineEdit*>(window.Control(ids::PortEdit))->setText(QString::number(kPort));
  std::vector<QWidget*> watched = {window.Control(ids::NodeStatus)};
  for (size_t row = 0; row < ids::RowValueLabels.size(); ++row) {
    watched.push_back(window.Control(ids::RowValueLabels[row]));
    watched.push_back(window.Control(ids::RowIndicators[row]));
  }
  PaintWatch rows(watched);

  std::vector<double> lateness;
  QElapsedTimer clock;
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  tick.setInterval(10);
  qint64 expected = 0;
  double cpuAtStart = 0;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    lateness.push_back(static_cast<double>(std::max<qint64>(0, now - expected)));
    expected = now + 10;
  });
  QTimer::singleShot(100, [&] {
    static_cast<QPushButton*>(window.Control(ids::StartButton))->click();
  });
  QTimer::singleShot(1000, [&] {
    if (window.Mode() != MonitorMode::Receiving) {
      std::fprintf(stderr, "the window did not reach Receiving\n");
      application.exit(1);
      return;
    }
    rows.counting = true;
    cpuAtStart = CpuSeconds();
    clock.start();
    expected = 10;
    tick.start();
  });
  QTimer::singleShot(11000, [&] {
    tick.stop();
    const double cpu = CpuSeconds() - cpuAtStart;
    const double seconds = clock.elapsed() / 1000.0;
    std::sort(lateness.begin(), lateness.end());
    auto at = [&](double q) { return lateness[static_cast<size_t>(q * (lateness.size() - 1))]; };
    std::printf("20,000 reports/s for %.1f s:\n", seconds);
    std::printf("  10 ms timer lateness: p50 %.0f ms, p99 %.0f ms, max %.0f ms\n", at(0.5),
                at(0.99), lateness.back());
    std::printf("  rows painted: %.0f per second, longest pause between paints %lld ms\n",
                rows.paints / seconds, static_cast<long long>(rows.longestGapMs));
    std::printf("  CPU: %.0f %% of one core\n", 100.0 * cpu / seconds);
    static_cast<QPushButton*>(window.Control(ids::StartButton))->click();
    application.exit(0);
  });
  const int result = application.exec();
  kill(sim, SIGTERM);
  waitpid(sim, nullptr, 0);
  return result;
}
