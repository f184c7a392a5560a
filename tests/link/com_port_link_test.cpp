// The link over a Windows COM port. COM20 and COM21 are the two ends of one
// null-modem line that the test fixture lays between two raw pseudo terminals
// (wine_com_pair.sh): the link opens COM20, the test is the gateway on COM21.

#include "frame_builder.h"
#include "frame_collector.h"
#include "gateway_link.h"
#include "serial_ports.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

namespace pelorin {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr int32_t kLinkPort = 20;
constexpr const char* kGatewayPort = "\\\\.\\COM21";

class ComPortLink : public ::testing::Test {
 protected:
  void SetUp() override {
    gateway_ = CreateFileA(kGatewayPort, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(gateway_, INVALID_HANDLE_VALUE) << "no COM pair: " << GetLastError();
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 50;
    timeouts.ReadTotalTimeoutConstant = 100;
    timeouts.WriteTotalTimeoutConstant = 1000;
    SetCommTimeouts(gateway_, &timeouts);
    link.useTcp = 0;
    link.comPort = kLinkPort;
    link.owner = &frames;
    link.handler = &test::FrameCollector::Handle;
  }
  void TearDown() override {
    if (gateway_ != INVALID_HANDLE_VALUE) CloseHandle(gateway_);
  }

  void Send(const Bytes& bytes) {
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(gateway_, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                          nullptr));
    ASSERT_EQ(written, bytes.size());
  }

  // Reads exactly count bytes, or whatever arrived when timeoutMs runs out.
  Bytes Receive(size_t count, int timeoutMs = 5000) {
    Bytes bytes;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (bytes.size() < count && std::chrono::steady_clock::now() < deadline) {
      uint8_t buffer[256];
      DWORD read = 0;
      const DWORD wanted = static_cast<DWORD>(std::min(sizeof buffer, count - bytes.size()));
      if (!ReadFile(gateway_, buffer, wanted, &read, nullptr)) break;
      bytes.insert(bytes.end(), buffer, buffer + read);
    }
    return bytes;
  }

  SerialPortRegistry ports;
  test::FrameCollector frames;
  GatewayLink link{ports};
  HANDLE gateway_ = INVALID_HANDLE_VALUE;
};

TEST_F(ComPortLink, StartCommandIsAnsweredOverTheComPort) {
  ASSERT_EQ(link.Open().code, 0);
  auto command = std::async(std::launch::async, [&] { return link.SendCommand(0, 5, "MD"); });
  EXPECT_EQ(Receive(5), (Bytes{0x30, 0x30, 0x4D, 0x44, 0xC8}));
  Send(sim::GatewayReply());
  EXPECT_EQ(command.get().code, 0);
  link.Close();
  EXPECT_EQ(link.state(), LinkState::Closed);
}

// Another program left the port at 7 bits, even parity, software and hardware
// flow control, dropping NUL bytes and stopping at a line error: the link's
// frames still carry 0x00, 0x11, 0x13 and every byte up to 0xFF.
void LeaveLinkPortBadlySet() {
  const HANDLE port = CreateFileA("\\\\.\\COM20", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(port, INVALID_HANDLE_VALUE) << GetLastError();
  DCB settings{};
  settings.DCBlength = sizeof settings;
  ASSERT_TRUE(GetCommState(port, &settings));
  settings.ByteSize = 7;
  settings.Parity = EVENPARITY;
  settings.fParity = TRUE;
  settings.fOutX = TRUE;
  settings.fInX = TRUE;
  settings.fNull = TRUE;
  settings.fAbortOnError = TRUE;
  settings.fOutxCtsFlow = TRUE;
  settings.fRtsControl = RTS_CONTROL_HANDSHAKE;
  EXPECT_TRUE(SetCommState(port, &settings)) << GetLastError();
  CloseHandle(port);
}

TEST_F(ComPortLink, EveryByteValuePassesUnchangedBothWaysWhateverTheLastProgramLeft) {
  LeaveLinkPortBadlySet();
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
    Send(frame);
    ASSERT_EQ(link.SendCommand(0, 0, std::string(part.begin(), part.end())).code, 0);
    Bytes sent = {'0', '0'};
    sent.insert(sent.end(), part.begin(), part.end());
    sent.push_back(0xC8);
    EXPECT_EQ(Receive(sent.size()), sent);
  }
  ASSERT_TRUE(frames.WaitFor(3));
  Bytes received;
  for (const Bytes& frame : frames.Frames()) {
    received.insert(received.end(), frame.begin(), frame.end() - 1);
  }
  EXPECT_EQ(received, values);
  link.Close();
}

TEST_F(ComPortLink, WriteThatTheLineNeverTakesFailsWithinItsTimeOutAndItsPartIsEnded) {
  // Nobody reads the gateway's side: the line fills until a write cannot end.
  ASSERT_EQ(link.Open().code, 0);
  const std::string text(250, 'w');
  int32_t code = 0;
  for (int sent = 0; code == 0 && sent < 4000; ++sent) {
    const auto start = std::chrono::steady_clock::now();
    code = link.SendCommand(0, 0, text).code;
    // 1000 ms plus 10 ms a byte, and room for a slow machine.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  }
  EXPECT_EQ(code, static_cast<int32_t>(ERROR_TIMEOUT));
  Bytes line;
  for (Bytes part; !(part = Receive(4096, 500)).empty();) {
    line.insert(line.end(), part.begin(), part.end());
  }
  // The next frame never joins what the line took of the failed one.
  ASSERT_EQ(link.SendCommand(0, 0, "MD").code, 0);
  const Bytes next = Receive(6, 1000);
  line.insert(line.end(), next.begin(), next.end());
  ASSERT_GE(line.size(), 6u);
  EXPECT_EQ(Bytes(line.end() - 6, line.end()), (Bytes{0xC8, 0x30, 0x30, 0x4D, 0x44, 0xC8}));
  link.Close();
}

TEST_F(ComPortLink, MissingPortFailsWithTheSystemError) {
  link.comPort = 99;  // no such device
  EXPECT_EQ(link.Open().code, static_cast<int32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(link.state(), LinkState::Closed);
}

}  // namespace
}  // namespace pelorin
