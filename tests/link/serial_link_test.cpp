#include "frame_builder.h"
#include "frame_collector.h"
#include "gateway_link.h"
#include "loopback.h"
#include "process_counts.h"
#include "pty.h"
#include "serial_ports.h"
#include "sim_process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <future>
#include <unistd.h>

namespace pelorin {
namespace {

using Bytes = std::vector<uint8_t>;

class SerialLink : public ::testing::Test {
 protected:
  void SetUp() override {
    link.useTcp = 0;
    link.comPort = ports.NumberFor("usb-test-adapter", pty.slavePath());
    link.owner = &frames;
    link.handler = &test::FrameCollector::Handle;
  }

  SerialPortRegistry ports;
  test::FrameCollector frames;
  test::Pty pty;
  GatewayLink link{ports};
};

TEST_F(SerialLink, StartCommandIsAnsweredOverTheComPort) {
  ASSERT_EQ(link.Open().code, 0);
  auto command = std::async(std::launch::async, [&] { return link.SendCommand(0, 5, "MD"); });
  EXPECT_EQ(test::ReceiveBytes(pty.master(), 5), (Bytes{0x30, 0x30, 0x4D, 0x44, 0xC8}));
  test::SendBytes(pty.master(), sim::GatewayReply());
  EXPECT_EQ(command.get().code, 0);
  link.Close();
  EXPECT_EQ(link.state(), LinkState::Closed);
}

TEST_F(SerialLink, BytesWaitingAtOpenNeverReachTheHandler) {
  // A raw slave held open by the gateway's side lets bytes queue up before
  // the link opens the port, as on a real serial line.
  const int held = open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
  termios raw{};
  tcgetattr(held, &raw);
  cfmakeraw(&raw);
  tcsetattr(held, TCSANOW, &raw);
  const Bytes old = {'0', '1', 'W', 'U', ' ', 'o', 'l', 'd', 0xC8, 'p', 'a', 'r', 't'};
  Bytes burst;
  while (burst.size() < 3000) burst.insert(burst.end(), old.begin(), old.end());
  test::SendBytes(pty.master(), burst);
  // Wait until the line discipline holds all of it.
  int waiting = 0;
  for (int i = 0; i < 500 && waiting < static_cast<int>(burst.size()); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ioctl(held, FIONREAD, &waiting);
  }
  ASSERT_EQ(waiting, static_cast<int>(burst.size()));

  ASSERT_EQ(link.Open().code, 0);
  test::SendBytes(pty.master(), sim::GatewayReply());
  ASSERT_TRUE(frames.WaitFor(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(frames.Frames(), std::vector<Bytes>{sim::GatewayReply()});
  link.Close();
  close(held);
}

TEST_F(SerialLink, EveryByteValuePassesUnchangedBothWays) {
  ASSERT_EQ(link.Open().code, 0);
  Bytes values;
  for (int b = 0; b < 256; ++b) {
    if (b != 0xC8) values.push_back(static_cast<uint8_t>(b));
  }
  for (size_t from = 0; from < values.size(); from += 100) {
    const Bytes part(values.begin() + static_cast<long>(from),
                     values.begin() + static_cast<long>(std::min(from + 100, values.size())));
    Bytes frame = part;
    frame.push_back(0xC8);
    test::SendBytes(pty.master(), frame);
    const std::string command(part.begin(), part.end());
    ASSERT_EQ(link.SendCommand(0, 0, command).code, 0);
    Bytes sent = {'0', '0'};
    sent.insert(sent.end(), part.begin(), part.end());
    sent.push_back(0xC8);
    EXPECT_EQ(test::ReceiveBytes(pty.master(), sent.size()), sent);
  }
  ASSERT_TRUE(frames.WaitFor(3));
  Bytes received;
  for (const Bytes& frame : frames.Frames()) received.insert(received.end(), frame.begin(), frame.end() - 1);
  EXPECT_EQ(received, values);
}

TEST_F(SerialLink, MissingDeviceFailsWithThePlatformError) {
  link.comPort = 99;  // never registered
  EXPECT_EQ(link.Open().code, ENOENT);
  link.comPort = ports.NumberForNode("/dev/pelorin-no-such-port");
  EXPECT_EQ(link.Open().code, ENOENT);
  EXPECT_EQ(link.state(), LinkState::Closed);
}

// The pty slave's line speed, read or set while nothing else holds it.
speed_t SlaveSpeed(const std::string& path, speed_t set = B0) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  termios settings{};
  tcgetattr(fd, &settings);
  if (set != B0) {
    cfsetspeed(&settings, set);
    tcsetattr(fd, TCSANOW, &settings);
  }
  close(fd);
  return cfgetospeed(&settings);
}

// What another program may leave on a port: two stop bits, hardware and
// software flow control, a cooked line, no CLOCAL. (A pty holds no other
// character size than 8 bits and no parity.)
void LeaveForeignLineSettings(int fd) {
  termios settings{};
  tcgetattr(fd, &settings);
  settings.c_cflag = (settings.c_cflag | CSTOPB | CRTSCTS) & ~CLOCAL;
  settings.c_iflag |= IXON | IXOFF | IXANY;
  settings.c_lflag |= ICANON | ECHO;
  tcsetattr(fd, TCSANOW, &settings);
}

// Whatever the port was left with, the link holds it raw, 8N1, without flow
// control. It keeps its own speed unless one is asked for; one the device
// cannot take fails the open and changes nothing.
TEST_F(SerialLink, TheLineIsRaw8N1AndItsSpeedChangesOnlyWhenAskedFor) {
  SlaveSpeed(pty.slavePath(), B38400);
  const struct {
    int32_t speed;
    int32_t code;
    speed_t after;
  } cases[] = {{0, 0, B38400}, {9600, 0, B9600}, {12345, EINVAL, B9600}, {0, 0, B9600}};
  for (const auto& c : cases) {
    LeaveForeignLineSettings(pty.master());  // the master reads and sets the slave's line
    link.serialSpeed = c.speed;
    EXPECT_EQ(link.Open().code, c.code) << c.speed;
    if (link.state() == LinkState::Open) {
      termios held{};
      ASSERT_EQ(tcgetattr(pty.master(), &held), 0);
      EXPECT_EQ(held.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD),
                tcflag_t{CS8 | CLOCAL | CREAD}) << c.speed;
      EXPECT_EQ(held.c_iflag & (IXON | IXOFF | IXANY), 0u) << c.speed;
      EXPECT_EQ(held.c_lflag & (ICANON | ECHO), 0u) << c.speed;
      EXPECT_EQ(cfgetospeed(&held), c.after) << c.speed;
    }
    link.Close();
    EXPECT_EQ(SlaveSpeed(pty.slavePath()), c.after) << c.speed;
  }
}

TEST_F(SerialLink, PortIsNeverShared) {
  ASSERT_EQ(link.Open().code, 0);
  GatewayLink second{ports};
  second.useTcp = 0;
  second.comPort = link.comPort;
  EXPECT_EQ(second.Open().code, EBUSY);
  link.Close();
  EXPECT_EQ(second.Open().code, 0);
  second.Close();
}

TEST_F(SerialLink, PulledCableIsNoticedAndTheAdapterReopenedUnderItsNewNode) {
  ASSERT_EQ(link.Open().code, 0);
  test::SendBytes(pty.master(), sim::GatewayReply());
  ASSERT_TRUE(frames.WaitFor(1));

  pty.CloseMaster();  // the cable is pulled
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  test::Pty replugged;  // the adapter comes back under another node name
  EXPECT_EQ(ports.NumberFor("usb-test-adapter", replugged.slavePath()), link.comPort);
  // The link finds it again within a few of its 500 ms reopen attempts.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (frames.Count() < 2 && std::chrono::steady_clock::now() < deadline) {
    test::SendBytes(replugged.master(), sim::GatewayReply());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_GE(frames.Count(), 2u);
  EXPECT_EQ(link.state(), LinkState::Open);
  link.Close();
}

TEST(SerialLinkOpen, CablePulledWhileOpeningNeverHoldsOpen) {
  // The cable is pulled at moments that sweep the opening: before the port is
  // open, while the link drains it, and after it has turned Open.
  SerialPortRegistry ports;
  for (int attempt = 0; attempt < 60; ++attempt) {
    test::Pty pty;
    GatewayLink link{ports};
    link.useTcp = 0;
    link.comPort = ports.NumberForNode(pty.slavePath());
    auto open = std::async(std::launch::async, [&] { return link.Open(); });
    std::this_thread::sleep_for(std::chrono::microseconds(5 * attempt));
    pty.CloseMaster();
    ASSERT_EQ(open.wait_for(std::chrono::seconds(5)), std::future_status::ready)
        << "Open never returned";
    const int32_t code = open.get().code;
    EXPECT_TRUE(code == 0 || code == ENOENT || code == EIO) << code;
    if (code == EIO) {  // lost while draining
      EXPECT_EQ(link.state(), LinkState::Closed);
      EXPECT_TRUE(test::PelorinThreadsGone());
    }
    link.Close();
  }
}

TEST_F(SerialLink, BlockedWriteKeepsTheReceiveThreadAsleep) {
  // Nobody reads the gateway's side: fill the line until a write would block.
  const int filler = open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(filler, 0);
  ASSERT_EQ(link.Open().code, 0);
  const Bytes block(4096, 'f');
  for (int full = 0; full < 20; std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
    full = write(filler, block.data(), block.size()) < 0 ? full + 1 : 0;
  }
  auto send = std::async(std::launch::async, [&] { return link.SendCommand(0, 0, "MD"); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const long long before = test::ThreadWakeups("pelorin-receive");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  // Idle it wakes about 5 times in 500 ms; a polling wait would be hundreds.
  EXPECT_LT(test::ThreadWakeups("pelorin-receive") - before, 40);
  EXPECT_EQ(send.get().code, ETIMEDOUT);
  link.Close();
  close(filler);
}

class SimulatedGateway : public ::testing::TestWithParam<bool> {};

TEST_P(SimulatedGateway, StartsAndDeliversReports) {
  const bool overPty = GetParam();
  test::SimProcess sim(overPty ? std::vector<std::string>{"--pty", "--rate", "200"}
                               : std::vector<std::string>{"--tcp", "127.0.0.1:0", "--rate",
                                                          "200", "--fault", "garbage"});
  SerialPortRegistry ports;
  test::FrameCollector frames;
  GatewayLink link{ports};
  if (overPty) {
    link.useTcp = 0;
    link.comPort = ports.NumberForNode(sim.endpoint());
  } else {
    link.useTcp = 1;
    ASSERT_TRUE(link.SetHostName("127.0.0.1"));
    ASSERT_TRUE(link.SetPortText(sim.endpoint()));
  }
  link.owner = &frames;
  link.handler = &test::FrameCollector::Handle;
  for (int session = 0; session < 2; ++session) {
    ASSERT_EQ(link.Open().code, 0);
    EXPECT_EQ(link.SendCommand(0, 5, "MD").code, 0);
    EXPECT_TRUE(frames.WaitFor(frames.Count() + 100));
    link.Close();
  }
  size_t reports = 0;
  for (const Bytes& frame : frames.Frames()) {
    ASSERT_LE(frame.size(), 127u);
    ASSERT_EQ(frame.back(), 0xC8);
    if (frame.size() > 4 && frame[2] == 'W' && frame[3] == 'U') ++reports;
  }
  EXPECT_GE(reports, 150u);
  EXPECT_NE(link.gatewayValue(), -1);  // "00gq" frames came and were kept
}

INSTANTIATE_TEST_SUITE_P(OverTcpAndPty, SimulatedGateway, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Pty" : "Tcp"; });

}  // namespace
}  // namespace pelorin
