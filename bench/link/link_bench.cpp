// Measures the gateway link: frames per second over loopback TCP and a pty
// (and that none is lost), handler latency from the last byte written to the
// handler call, and the cost of an idle open link.

#include "frame_builder.h"
#include "gateway_link.h"
#include "serial_ports.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace pelorin;
using Clock = std::chrono::steady_clock;

namespace {

// A report whose first analog record carries a sequence number.
sim::Frame NumberedReport(uint32_t sequence) {
  sim::ReportContent report;
  report.node = 0x1A;
  report.id = 3;
  report.model = 3;
  report.digitalBytes = {0x35, 0x30};
  report.analog = {{2, sequence & 0xFFFFFF}, {6, 0x00FA00}};
  return sim::NodeReport(report);
}

uint32_t SequenceOf(const uint8_t* frame) {
  return static_cast<uint32_t>(std::strtoul(
      std::string(reinterpret_cast<const char*>(frame) + 11, 6).c_str(), nullptr, 16));
}

struct Receiver {
  std::atomic<uint32_t> frames{0};
  std::atomic<uint32_t> lost{0};
  uint32_t expected = 0;
  std::vector<Clock::time_point>* arrivals = nullptr;

  static int32_t Handle(void* owner, const uint8_t* frame, int32_t length) {
    auto* self = static_cast<Receiver*>(owner);
    if (self->arrivals) self->arrivals->push_back(Clock::now());
    if (length > 17 && frame[2] == 'W') {
      const uint32_t sequence = SequenceOf(frame);
      if (sequence != (self->expected & 0xFFFFFF)) ++self->lost;
      self->expected = sequence + 1;
    }
    self->frames.fetch_add(1, std::memory_order_relaxed);
    return 0;
  }
};

struct Endpoint {
  int peer = -1;          // the gateway's side: accepted socket or pty master
  int listener = -1;
  int slaveHolder = -1;
  std::string port;
  std::string ptyPath;
};

Endpoint TcpEndpoint() {
  Endpoint e;
  e.listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(e.listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(e.listener, 4);
  socklen_t size = sizeof address;
  getsockname(e.listener, reinterpret_cast<sockaddr*>(&address), &size);
  e.port = std::to_string(ntohs(address.sin_port));
  return e;
}

Endpoint PtyEndpoint() {
  Endpoint e;
  e.peer = posix_openpt(O_RDWR | O_NOCTTY);
  grantpt(e.peer);
  unlockpt(e.peer);
  e.ptyPath = ptsname(e.peer);
  return e;
}

// Opens the link to the endpoint with the receiver as its frame handler.
void Connect(GatewayLink& link, Receiver& receiver, Endpoint& e, SerialPortRegistry& ports) {
  link.owner = &receiver;
  link.handler = &Receiver::Handle;
  if (e.ptyPath.empty()) {
    link.useTcp = 1;
    link.SetHostName("127.0.0.1");
    link.SetPortText(e.port);
  } else {
    link.useTcp = 0;
    link.comPort = ports.NumberForNode(e.ptyPath);
  }
  if (!link.Open().ok()) {
    std::fprintf(stderr, "open failed: %d\n", link.lastError());
    std::exit(1);
  }
  if (e.ptyPath.empty()) e.peer = accept(e.listener, nullptr, nullptr);
}

void Release(Endpoint& e) {
  if (e.peer >= 0) close(e.peer);
  if (e.listener >= 0) close(e.listener);
}

void WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n <= 0) return;
    data += n;
    size -= static_cast<size_t>(n);
  }
}

void Throughput(const char* name, Endpoint e, uint32_t count) {
  SerialPortRegistry ports;
  Receiver receiver;
  GatewayLink link{ports};
  Connect(link, receiver, e, ports);
  std::vector<uint8_t> stream;
  for (uint32_t i = 0; i < count; ++i) {
    const sim::Frame frame = NumberedReport(i);
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
  const auto start = Clock::now();
  std::thread sender([&] { WriteAll(e.peer, stream.data(), stream.size()); });
  while (receiver.frames.load() < count &&
         Clock::now() - start < std::chrono::seconds(60)) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  sender.join();
  link.Close();
  std::printf("%-22s %9u frames of %zu bytes in %.3f s: %10.0f frames/s, %u lost, %u missing\n",
              name, receiver.frames.load(), stream.size() / count, seconds,
              receiver.frames.load() / seconds, receiver.lost.load(),
              count - receiver.frames.load());
  Release(e);
}

void Latency(const char* name, Endpoint e, int samples) {
  SerialPortRegistry ports;
  Receiver receiver;
  std::vector<Clock::time_point> arrivals;
  arrivals.reserve(static_cast<size_t>(samples) + 16);
  receiver.arrivals = &arrivals;
  GatewayLink link{ports};
  Connect(link, receiver, e, ports);
  std::vector<double> micros;
  for (int i = 0; i < samples; ++i) {
    const sim::Frame frame = NumberedReport(static_cast<uint32_t>(i));
    const size_t before = receiver.frames.load();
    WriteAll(e.peer, frame.data(), frame.size());
    const auto written = Clock::now();
    while (receiver.frames.load() == before) std::this_thread::yield();
    micros.push_back(std::chrono::duration<double, std::micro>(arrivals.back() - written).count());
    // Let the link fall back to waiting for data, as between real reports.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  link.Close();
  std::sort(micros.begin(), micros.end());
  auto at = [&](double q) { return micros[static_cast<size_t>(q * (micros.size() - 1))]; };
  std::printf("%-22s %d frames: p50 %.0f us, p99 %.0f us, max %.0f us\n", name, samples,
              at(0.5), at(0.99), micros.back());
  Release(e);
}

double CpuSeconds(const rusage& u) {
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec +
         (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void Idle(const char* name, Endpoint e, bool peerClosed, int seconds) {
  SerialPortRegistry ports;
  Receiver receiver;
  GatewayLink link{ports};
  Connect(link, receiver, e, ports);
  if (peerClosed) {
    close(e.peer);
    e.peer = -1;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  link.Close();
  const long switches = (after.ru_nvcsw - before.ru_nvcsw) + (after.ru_nivcsw - before.ru_nivcsw);
  std::printf("%-22s %.1f wake-ups/s, CPU %.2f ms/s\n", name,
              static_cast<double>(switches - 1) / seconds,
              (CpuSeconds(after) - CpuSeconds(before)) * 1000.0 / seconds);
  Release(e);
}

}  // namespace

int main() {
  Throughput("throughput TCP", TcpEndpoint(), 1000000);
  Throughput("throughput pty", PtyEndpoint(), 200000);
  Latency("latency TCP", TcpEndpoint(), 2000);
  Latency("latency pty", PtyEndpoint(), 2000);
  Idle("idle TCP", TcpEndpoint(), false, 5);
  Idle("idle TCP, peer closed", TcpEndpoint(), true, 5);
  Idle("idle pty", PtyEndpoint(), false, 5);
  return 0;
}
