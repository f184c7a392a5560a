// Measures the gateway link: frames per second over loopback TCP and, on
// Linux, a pty (and that none is lost), handler latency from the last byte
// written to the handler call, and the cost of an idle open link.

#include "frame_builder.h"
#include "gateway_link.h"
#include "loopback.h"
#include "process_counts.h"
#include "serial_ports.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

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

// The gateway's side: an accepted loopback connection, or a pty master.
struct Endpoint {
  std::unique_ptr<test::LoopbackServer> server;
  test::Socket socket = -1;
  int master = -1;
  std::string ptyPath;
};

Endpoint TcpEndpoint() {
  Endpoint e;
  e.server = std::make_unique<test::LoopbackServer>();
  return e;
}

#if !defined(_WIN32)
Endpoint PtyEndpoint() {
  Endpoint e;
  e.master = posix_openpt(O_RDWR | O_NOCTTY);
  grantpt(e.master);
  unlockpt(e.master);
  e.ptyPath = ptsname(e.master);
  return e;
}
#endif

// Opens the link to the endpoint with the receiver as its frame handler.
void Connect(GatewayLink& link, Receiver& receiver, Endpoint& e, SerialPortRegistry& ports) {
  link.owner = &receiver;
  link.handler = &Receiver::Handle;
  if (e.ptyPath.empty()) {
    link.useTcp = 1;
    link.SetHostName("127.0.0.1");
    link.SetPortText(e.server->port());
  } else {
    link.useTcp = 0;
    link.comPort = ports.NumberForNode(e.ptyPath);
  }
  if (!link.Open().ok()) {
    std::fprintf(stderr, "open failed: %d\n", link.lastError());
    std::exit(1);
  }
  if (e.ptyPath.empty()) e.socket = e.server->Accept();
}

// Closes the gateway's side; the link's is closed by then.
void Release(Endpoint& e) {
  if (e.socket != -1) test::CloseSocket(e.socket);
  e.socket = -1;
#if !defined(_WIN32)
  if (e.master >= 0) close(e.master);
  e.master = -1;
#endif
}

void WriteAll(Endpoint& e, const std::vector<uint8_t>& bytes) {
  if (e.socket != -1) {
    test::SendBytes(e.socket, bytes);
    return;
  }
#if !defined(_WIN32)
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(e.master, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
#endif
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
  std::thread sender([&] { WriteAll(e, stream); });
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
    WriteAll(e, frame);
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

// How often this process's threads were switched to so far; -1 where the
// system does not count it.
long ContextSwitches() {
#if defined(_WIN32)
  return -1;
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_nvcsw + usage.ru_nivcsw;
#endif
}

void Idle(const char* name, Endpoint e, bool peerClosed, int seconds) {
  SerialPortRegistry ports;
  Receiver receiver;
  GatewayLink link{ports};
  Connect(link, receiver, e, ports);
  if (peerClosed) Release(e);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const long switchesBefore = ContextSwitches();
  const double cpuBefore = test::ProcessCpuMilliseconds();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double cpu = test::ProcessCpuMilliseconds() - cpuBefore;
  const long switches = ContextSwitches() - switchesBefore;
  link.Close();
  if (switchesBefore >= 0) {
    std::printf("%-22s %.1f wake-ups/s, CPU %.2f ms/s\n", name,
                static_cast<double>(switches - 1) / seconds, cpu / seconds);
  } else {
    std::printf("%-22s CPU %.2f ms/s\n", name, cpu / seconds);
  }
  Release(e);
}

}  // namespace

int main() {
  Throughput("throughput TCP", TcpEndpoint(), 1000000);
  Latency("latency TCP", TcpEndpoint(), 2000);
  Idle("idle TCP", TcpEndpoint(), false, 5);
  Idle("idle TCP, peer closed", TcpEndpoint(), true, 5);
#if !defined(_WIN32)
  Throughput("throughput pty", PtyEndpoint(), 200000);
  Latency("latency pty", PtyEndpoint(), 2000);
  Idle("idle pty", PtyEndpoint(), false, 5);
#endif
  return 0;
}
