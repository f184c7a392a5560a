// How long a report takes from its last byte to the screen. A paced gateway
// in this process sends reports over loopback TCP to the real window; each
// report carries its number in its node and ID (the status line shows both),
// and every paint of the status line tells which report is on the screen.
// Every report counts: one that a refresh passes over is on the screen when a
// later one is, and its latency runs until then.
//
// Usage: pelorin-bench-row-latency RATE SECONDS (on a display, or offscreen)

#include "control_table.h"
#include "display_connection.h"
#include "frame_builder.h"
#include "no_devices.h"
#include "quorvane_dlg.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace pelorin;

// Node and ID together tell 4,096 reports apart: at 5,000 reports a second a
// number comes back after 0.8 s, far beyond any latency worth measuring.
constexpr int kNumbers = 256 * 16;

sim::Frame NumberedReport(long number) {
  sim::ReportContent report = sim::FixedReport();
  report.node = static_cast<int>(number % kNumbers / 16);
  report.id = static_cast<int>(number % 16);
  return sim::NodeReport(report);
}

// Answers the start command, then sends one report at each tick of the pace
// and notes when its last byte left.
class PacedGateway {
 public:
  PacedGateway() {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    listen(listener_, 1);
    socklen_t size = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
  }
  ~PacedGateway() { close(listener_); }

  int port() const { return port_; }

  void Run(int rate, Clock::duration length) {
    const int peer = accept(listener_, nullptr, nullptr);
    uint8_t byte = 0;
    while (recv(peer, &byte, 1, 0) == 1 && byte != 0xC8) {
    }
    const sim::Frame reply = sim::GatewayReply();
    send(peer, reply.data(), reply.size(), 0);
    const Clock::time_point start = Clock::now();
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate));
    sentAt.reserve(static_cast<size_t>(rate * std::chrono::duration<double>(length).count()) + 1);
    for (long number = 0; start + number * period < start + length; ++number) {
      std::this_thread::sleep_until(start + number * period);
      const sim::Frame frame = NumberedReport(number);
      if (send(peer, frame.data(), frame.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(frame.size())) break;
      sentAt.push_back(Clock::now());
    }
    close(peer);
  }

  std::vector<Clock::time_point> sentAt;

 private:
  int listener_ = -1;
  int port_ = 0;
};

// Notes the time and text of every paint of the status line.
class StatusWatch : public QObject {
 public:
  explicit StatusWatch(QLabel* label) : label_(label) { label->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) paints.push_back({Clock::now(), label_->text().toStdString()});
    return false;
  }
  struct Paint {
    Clock::time_point at;
    std::string text;
  };
  std::vector<Paint> paints;

 private:
  QLabel* label_;
};

// The number (modulo kNumbers) of the report that a status line shows, or -1.
long ShownNumber(const std::string& text) {
  int node = -1;
  if (std::sscanf(text.c_str(), "node : [ %d ]", &node) != 1) return -1;
  const size_t id = text.find("ID : ");
  if (id == std::string::npos) return -1;
  return node * 16 + std::atoi(text.c_str() + id + 5);
}

// Each report's wait until it, or a later one, was on the screen, in ms.
std::vector<double> Latencies(const std::vector<Clock::time_point>& sentAt,
                              const std::vector<StatusWatch::Paint>& paints) {
  std::vector<double> latencies;
  long covered = -1;  // reports up to this one have been on the screen
  for (const StatusWatch::Paint& paint : paints) {
    const long shown = ShownNumber(paint.text);
    if (shown < 0) continue;
    // The latest report sent by then that carries the number shown.
    long number = static_cast<long>(std::upper_bound(sentAt.begin(), sentAt.end(), paint.at) - sentAt.begin()) - 1;
    while (number >= 0 && number % kNumbers != shown) --number;
    for (long k = covered + 1; k <= number; ++k) {
      latencies.push_back(std::chrono::duration<double, std::milli>(paint.at - sentAt[static_cast<size_t>(k)]).count());
    }
    covered = std::max(covered, number);
  }
  return latencies;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s RATE SECONDS\n", argv[0]);
    return 2;
  }
  const int rate = std::atoi(argv[1]);
  const int seconds = std::atoi(argv[2]);
  if (qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The display as the program has it.
  ui::PrepareDisplayConnection();
  QApplication application(argc, argv);

  PacedGateway gateway;
  std::thread sender([&] { gateway.Run(rate, std::chrono::seconds(seconds)); });
  ui::CQuorvaneDlg window(QStringLiteral("/tmp/pelorin-bench"), std::make_unique<bench::NoDevices>());
  window.show();
  static_cast<QLineEdit*>(window.Control(monitor::ids::AddressEdit))->setText(QStringLiteral("127.0.0.1"));
  static_cast<QLineEdit*>(window.Control(monitor::ids::PortEdit))->setText(QString::number(gateway.port()));
  StatusWatch watch(static_cast<QLabel*>(window.Control(monitor::ids::NodeStatus)));
  auto* start = static_cast<QPushButton*>(window.Control(monitor::ids::StartButton));
  QTimer::singleShot(100, start, &QPushButton::click);
  // The reports' stream starts about when the session does; a little more
  // lets the last of them reach the screen.
  QTimer::singleShot(100 + seconds * 1000 + 500, [&] {
    start->click();
    application.exit(0);
  });
  application.exec();
  sender.join();

  std::vector<double> latencies = Latencies(gateway.sentAt, watch.paints);
  if (latencies.empty()) {
    std::fprintf(stderr, "no report reached the screen\n");
    return 1;
  }
  std::sort(latencies.begin(), latencies.end());
  auto at = [&](double q) { return latencies[static_cast<size_t>(q * static_cast<double>(latencies.size() - 1))]; };
  std::printf("%d reports/s: %zu of %zu reports on the screen; latency p50 %.1f ms, p99 %.1f ms, max %.1f ms\n",
              rate, latencies.size(), gateway.sentAt.size(), at(0.5), at(0.99), latencies.back());
  return 0;
}
