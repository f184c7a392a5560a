#include "frame_assembler.h"
#include "link_error.h"
#include "link_platform.h"
#include "serial_ports.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace pelorin {
namespace {

TEST(LinkErrorText, FormatsCodeAndSuffix) {
  const struct {
    int32_t code;
    const char* text;
  } cases[] = {
      {20000, "通信エラー : 20000"},
      {20001, "通信エラー : 20001(多重接続)"},
      {20002, "通信エラー : 20002(接続済)"},
      {20003, "通信エラー : 20003(タイムアウト)"},
      {20004, "通信エラー : 20004(NO DATA)"},
      {20005, "通信エラー : 20005(COMMAND ERROR)"},
      {20006, "通信エラー : 20006(BUFFER ERROR)"},
      {20007, "通信エラー : 20007(ABORT)"},
      {20008, "通信エラー : 20008"},
      {20009, "通信エラー : 20009"},
      {2, "通信エラー : 2"},
      {111, "通信エラー : 111"},
      {-2, "通信エラー : -2"},
  };
  for (const auto& c : cases) EXPECT_EQ(LinkErrorText(c.code), c.text) << c.code;
}

TEST(LinkErrorText, TwoThreadsNeverSeeEachOthersText) {
  auto hammer = [](int32_t code, const std::string& expected, bool* clean) {
    for (int i = 0; i < 20000; ++i) {
      if (LinkErrorText(code) != expected) *clean = false;
    }
  };
  bool cleanA = true;
  bool cleanB = true;
  std::thread a(hammer, 20003, "通信エラー : 20003(タイムアウト)", &cleanA);
  std::thread b(hammer, 111, "通信エラー : 111", &cleanB);
  a.join();
  b.join();
  EXPECT_TRUE(cleanA);
  EXPECT_TRUE(cleanB);
}

std::vector<std::vector<uint8_t>> Assemble(const std::vector<uint8_t>& stream,
                                           int* overflows = nullptr) {
  FrameAssembler assembler;
  std::vector<std::vector<uint8_t>> frames;
  for (uint8_t byte : stream) {
    switch (assembler.Push(byte)) {
      case FrameAssembler::Result::FrameReady:
        frames.emplace_back(assembler.data(), assembler.data() + assembler.length());
        assembler.Clear();
        break;
      case FrameAssembler::Result::Overflow:
        if (overflows) ++*overflows;
        break;
      case FrameAssembler::Result::Pending:
        break;
    }
  }
  return frames;
}

std::vector<uint8_t> Frame(size_t count, uint8_t byte, bool terminate = true) {
  std::vector<uint8_t> bytes(count, byte);
  if (terminate) bytes.push_back(kFrameTerminator);
  return bytes;
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(FrameAssembler, CutsFramesAtTheTerminatorAndKeepsIt) {
  const auto frames = Assemble(Join({Frame(3, 'a'), Frame(0, 0), Frame(1, 'b')}));
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0], Frame(3, 'a'));
  EXPECT_EQ(frames[1].size(), 1u);  // a terminator alone is a frame of length 1
  EXPECT_EQ(frames[2], Frame(1, 'b'));
}

TEST(FrameAssembler, LongestFrameIs127BytesWithItsTerminator) {
  int overflows = 0;
  auto frames = Assemble(Frame(126, 'x'), &overflows);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].size(), 127u);
  EXPECT_EQ(overflows, 0);

  frames = Assemble(Frame(127, 'x'), &overflows);
  EXPECT_TRUE(frames.empty());
  EXPECT_EQ(overflows, 1);
}

TEST(FrameAssembler, AfterOverflowResumesAtTheNextFrameBoundary) {
  const struct {
    const char* name;
    std::vector<uint8_t> stream;
  } cases[] = {
      // 200 bytes without a terminator: everything up to the next 0xC8 goes.
      {"long run", Join({Frame(200, 'x'), Frame(2, 'g')})},
      // The terminator falls on the 128th place: that frame ends there.
      {"terminator in last place", Join({Frame(127, 'x'), Frame(2, 'g')})},
      // Several over-long runs in a row.
      {"repeated", Join({Frame(300, 'x'), Frame(500, 'z'), Frame(2, 'g')})},
  };
  for (const auto& c : cases) {
    const auto frames = Assemble(c.stream);
    ASSERT_EQ(frames.size(), 1u) << c.name;
    EXPECT_EQ(frames[0], Frame(2, 'g')) << c.name;
  }
}

TEST(GatewayQuery, ValueIsTheFifthByteMinus0x20) {
  const struct {
    std::vector<uint8_t> frame;
    std::optional<int32_t> value;
  } cases[] = {
      {{'0', '0', 'g', 'q', 0x35, 0xC8}, 21},
      {{'0', '0', 'g', 'q', 0xC8}, -32},  // nothing after "00gq"
      {{'0', '0', 'g', 'q', 0x00, 0xC8}, -32},
      {{'0', '0', 'g', 'q', 0xFF, 'z', 0xC8}, 223},
      {{'0', '1', 'g', 'q', 0x35, 0xC8}, std::nullopt},
      {{'0', '0', 'G', 'Q', 0x35, 0xC8}, std::nullopt},
      {{'0', '0', 'g', 0xC8}, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GatewayQueryValue(c.frame.data(), static_cast<int32_t>(c.frame.size())),
              c.value);
  }
}

// A read that fails with one of these codes reopens the port; any other code
// is a passing fault of a port that is still there, and is retried.
TEST(SerialDeviceGone, DriversCodesForAPulledAdapterReopenThePort) {
#if defined(_WIN32)
  // usbser.sys, FTDI, CH340 and Prolific drivers, and Wine's pty-backed ports.
  const int32_t gone[] = {22, 5, 995, 1167, 31, 1617, 433};
  const int32_t passing[] = {0, 1460 /* ERROR_TIMEOUT */, 997 /* ERROR_IO_PENDING */,
                             LinkError::NoData};
#else
  const int32_t gone[] = {EIO, ENXIO, ENODEV};
  const int32_t passing[] = {0, EAGAIN, EINTR, ETIMEDOUT, LinkError::NoData};
#endif
  EXPECT_EQ(std::size(kSerialDeviceGoneErrors), std::size(gone));
  for (const int32_t code : gone) EXPECT_TRUE(IsSerialDeviceGone(code)) << code;
  for (const int32_t code : passing) EXPECT_FALSE(IsSerialDeviceGone(code)) << code;
}

TEST(SerialPortRegistry, NumbersAreStableForTheLifeOfTheProcess) {
  SerialPortRegistry ports;
  EXPECT_EQ(ports.NumberForNode("/dev/ttyS4"), 1);
  EXPECT_EQ(ports.NumberForNode("/dev/ttyACM0"), 2);
  EXPECT_EQ(ports.NumberForNode("/dev/ttyS4"), 1);
  EXPECT_EQ(ports.DeviceNode(2), "/dev/ttyACM0");
  EXPECT_EQ(ports.DeviceNode(0), std::nullopt);
  EXPECT_EQ(ports.DeviceNode(3), std::nullopt);
}

TEST(SerialPortRegistry, UsbAdapterKeepsItsNumberUnderANewNode) {
  SerialPortRegistry ports;
  const int32_t adapter = ports.NumberFor("usb-0403:6001:A1B2:if00", "/dev/ttyUSB0");
  // Unplugged and plugged in again: the kernel names it ttyUSB1 this time.
  EXPECT_EQ(ports.NumberFor("usb-0403:6001:A1B2:if00", "/dev/ttyUSB1"), adapter);
  EXPECT_EQ(ports.DeviceNode(adapter), "/dev/ttyUSB1");
  // Another adapter takes over ttyUSB1: the first number must not open it.
  const int32_t other = ports.NumberFor("usb-067b:2303:X9:if00", "/dev/ttyUSB1");
  EXPECT_NE(other, adapter);
  EXPECT_EQ(ports.DeviceNode(other), "/dev/ttyUSB1");
  EXPECT_EQ(ports.DeviceNode(adapter), std::nullopt);
}

}  // namespace
}  // namespace pelorin
