#include "frame_handler.h"
#include "local_time.h"
#include "report_decoder.h"
#include "report_sink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace pelorin {
namespace {

using Bytes = std::vector<uint8_t>;

using test::LocalTime;

class RecordingSink : public ReportSink {
 public:
  RowValues& Rows() override { return rows; }
  void SetNodeStatus(std::string_view text) override { status = text; }
  void SetReceiveTime(std::string_view text) override { receiveTime = text; }
  void RequestRowRefresh() override { ++refreshes; }
  void AppendRecord(const NodeReport& report) override { appended.push_back(report); }
  std::time_t Now() override { return now; }

  int32_t Handle(const Bytes& frame) {
    return protocol::FrameHandler(static_cast<ReportSink*>(this), frame.data(),
                        static_cast<int32_t>(frame.size()));
  }
  std::vector<int32_t> Digital() const {
    std::vector<int32_t> v;
    for (const auto& d : rows.digital) v.push_back(d.load());
    return v;
  }
  std::vector<uint32_t> Raw() const {
    std::vector<uint32_t> v;
    for (const auto& r : rows.raw) v.push_back(r.load());
    return v;
  }

  RowValues rows;
  std::string status;
  std::string receiveTime;
  int refreshes = 0;
  std::vector<NodeReport> appended;
  std::time_t now = LocalTime(2026, 12, 6, 7, 19, 50);
};

constexpr uint32_t kNone = RowValues::kNoRaw;

// The worked example: node 26, ID 3, model 3 (KT-300), A = 2, B = 2.
const Bytes kExample = {0x31, 0x41, 0x57, 0x55, 0x2C, 0x23, 0x22, 0x22, 0x35,
                        0x30, 0x22, 0x34, 0x30, 0x30, 0x30, 0x30, 0x30, 0x26,
                        0x37, 0x46, 0x46, 0x46, 0x46, 0x46, 0xC8};

Bytes Header(uint8_t id, uint8_t model, uint8_t a, uint8_t b) {
  return {'1', 'A', 'W', 'U', id, model, a, b};
}
Bytes& Add(Bytes& frame, std::initializer_list<Bytes> parts) {
  for (const Bytes& part : parts) frame.insert(frame.end(), part.begin(), part.end());
  return frame;
}
Bytes Frame(std::initializer_list<Bytes> parts) {
  Bytes frame;
  Add(frame, parts);
  frame.push_back(0xC8);
  return frame;
}
Bytes Record(uint8_t type, const char* digits) {
  Bytes record(7);
  record[0] = type;
  std::copy(digits, digits + 6, record.begin() + 1);
  return record;
}
// The worked example's two records: type 2 with 0x400000, type 6 with 0x7FFFFF.
const Bytes kRecords = [] {
  Bytes records;
  return Add(records, {Record(0x22, "400000"), Record(0x26, "7FFFFF")});
}();

TEST(FrameHandler, WorkedExampleDecodesToRowsStatusAndRecord) {
  RecordingSink sink;
  EXPECT_EQ(sink.Handle(kExample), 1);
  EXPECT_EQ(sink.Digital(), (std::vector<int32_t>{1, 0, 1, -1, -1}));
  EXPECT_EQ(sink.Raw(), (std::vector<uint32_t>{0x400000, 0x7FFFFF, kNone, kNone, kNone}));
  EXPECT_EQ(sink.rows.channelType[0].load(), 2);
  EXPECT_EQ(sink.rows.channelType[1].load(), 6);
  EXPECT_EQ(sink.status, "node : [ 26 ]    /    KT-300    ID : 3    ");
  EXPECT_EQ(sink.receiveTime, "受信 : 2026/12/06 07:19:50");
  EXPECT_EQ(sink.refreshes, 1);
  ASSERT_EQ(sink.appended.size(), 1u);
  const NodeReport& report = sink.appended[0];
  EXPECT_EQ(report.timestamp, sink.now);
  EXPECT_EQ(report.node, 26);
  EXPECT_EQ(report.id, 3);
  EXPECT_EQ(report.model, 3);
  ASSERT_EQ(report.digitalCount, 3);
  EXPECT_EQ((std::vector<int32_t>(report.digital.begin(), report.digital.begin() + 3)),
            (std::vector<int32_t>{1, 0, 1}));
  ASSERT_EQ(report.analogCount, 2);
  EXPECT_EQ(report.analog[0].channelType, 2);
  EXPECT_EQ(report.analog[0].raw, 0x400000u);
  EXPECT_EQ(report.analog[1].channelType, 6);
  EXPECT_EQ(report.analog[1].raw, 0x7FFFFFu);
}

TEST(FrameHandler, DigitalInputsAndAnalogRecordsByHeader) {
  const struct {
    const char* name;
    Bytes frame;
    std::vector<int32_t> digital;
    std::vector<uint32_t> raw;
    const char* status;
  } cases[] = {
      {"A = 0", Frame({Header(0x2C, 0x23, 0x20, 0x22), kRecords}), {-1, -1, -1, -1, -1},
       {0x400000, 0x7FFFFF, kNone, kNone, kNone}, "node : [ 26 ]    /    KT-300    ID : 3    "},
      {"A = 2, model 8 has no inputs", Frame({Header(0x2C, 0x28, 0x22, 0x22), {0x3F, 0x3F}, kRecords}),
       {-1, -1, -1, -1, -1}, {0x400000, 0x7FFFFF, kNone, kNone, kNone},
       "node : [ 26 ]    /    KT-500    ID : 3    "},
      {"A = 1", Frame({Header(0x2C, 0x23, 0x21, 0x22), {0x3F}, kRecords}), {-1, -1, -1, -1, -1},
       {0x400000, 0x7FFFFF, kNone, kNone, kNone}, "node : [ 26 ]    /    KT-300    ID : 3    "},
      {"A = 3", Frame({Header(0x2C, 0x22, 0x23, 0x20), {0x3F, 0x3F, 0x3F}}), {-1, -1, -1, -1, -1},
       {kNone, kNone, kNone, kNone, kNone}, "node : [ 26 ]    /    KT-200    ID : 3    "},
      {"model 2 has five inputs", Frame({Header(0x2C, 0x22, 0x22, 0x20), {0x3A, 0x31}}),
       {0, 1, 0, 1, 1}, {kNone, kNone, kNone, kNone, kNone},
       "node : [ 26 ]    /    KT-200    ID : 3    "},
      {"B = 0", Frame({Header(0x2F, 0x23, 0x22, 0x20), {0x35, 0x30}}), {1, 0, 1, -1, -1},
       {kNone, kNone, kNone, kNone, kNone}, "node : [ 26 ]    /    KT-300    ID : 0    "},
      {"negative B counts as B = 0", Frame({Header(0x2F, 0x23, 0x22, 0x1F), {0x35, 0x30}}),
       {1, 0, 1, -1, -1}, {kNone, kNone, kNone, kNone, kNone},
       "node : [ 26 ]    /    KT-300    ID : 0    "},
      {"ID -1, model 15", Frame({Header(0x30, 0x2F, 0x20, 0x20)}), {-1, -1, -1, -1, -1},
       {kNone, kNone, kNone, kNone, kNone}, "node : [ 26 ]    /    (EX0)    ID : -1    "},
      {"A = 2, model beyond the table",
       Frame({Header(0x2C, 0x34, 0x22, 0x21), {0x3F, 0x3F}, {Record(0x29, "000001")}}),
       {-1, -1, -1, -1, -1}, {1, kNone, kNone, kNone, kNone},
       "node : [ 26 ]    /    (20)    ID : 3    "},
  };
  for (const auto& c : cases) {
    RecordingSink sink;
    sink.rows.digital[4] = 1;  // left over from an earlier report
    EXPECT_EQ(sink.Handle(c.frame), 1) << c.name;
    EXPECT_EQ(sink.Digital(), c.digital) << c.name;
    EXPECT_EQ(sink.Raw(), c.raw) << c.name;
    EXPECT_EQ(sink.status, c.status) << c.name;
    EXPECT_EQ(sink.refreshes, 1) << c.name;
    EXPECT_EQ(sink.appended.size(), 1u) << c.name;
  }
}

TEST(FrameHandler, RowsTakeFiveRecordsAndTheReportKeepsAll) {
  Bytes body = Header(0x2C, 0x21, 0x20, 0x28);
  for (int j = 0; j < 8; ++j) {
    const std::string digits = "00000" + std::to_string(j);
    Add(body, {Record(static_cast<uint8_t>(0x20 + j % 7), digits.c_str())});
  }
  RecordingSink sink;
  EXPECT_EQ(sink.Handle(Frame({body})), 1);
  EXPECT_EQ(sink.Raw(), (std::vector<uint32_t>{0, 1, 2, 3, 4}));
  ASSERT_EQ(sink.appended.size(), 1u);
  ASSERT_EQ(sink.appended[0].analogCount, 8);
  EXPECT_EQ(sink.appended[0].analog[7].raw, 7u);
  EXPECT_EQ(sink.appended[0].analog[7].channelType, 0);
}

// The window reads the rows while reports come: what it sees is one report's
// rows, never one node's value with the next node's channel type.
TEST(FrameHandler, RowsAreReadOneReportAtATime) {
  const Bytes volts = Frame({Header(0x2C, 0x23, 0x20, 0x21), Record(0x22, "400000")});
  const Bytes broken = Frame({Header(0x2C, 0x23, 0x20, 0x21), Record(0x26, "7FFFFF")});
  RecordingSink sink;
  std::atomic<bool> done{false};
  std::thread receiver([&] {
    for (int i = 0; i < 100000; ++i) sink.Handle(i % 2 == 0 ? volts : broken);
    done = true;
  });
  int mixed = 0;
  while (!done) {
    const RowValues::Snapshot rows = sink.rows.Read();
    const bool whole = (rows.channelType[0] == 2 && rows.raw[0] == 0x400000) ||
                       (rows.channelType[0] == 6 && rows.raw[0] == 0x7FFFFF) ||
                       (rows.channelType[0] == 0 && rows.raw[0] == RowValues::kNoRaw);  // none yet
    if (!whole) ++mixed;
  }
  receiver.join();
  EXPECT_EQ(mixed, 0);
}

TEST(FrameHandler, ReportsThatDoNotFitChangeNothingButStillAnswer) {
  const struct {
    const char* name;
    Bytes frame;
  } cases[] = {
      {"one record short", Frame({Header(0x2C, 0x23, 0x20, 0x23), kRecords})},
      {"digital bytes short", Frame({Header(0x2C, 0x23, 0x22, 0x20), {0x35}})},
      {"negative A", Frame({Header(0x2C, 0x23, 0x00, 0x20)})},
      {"header only", Bytes{'1', 'A', 'W', 'U', 0x2C, 0xC8}},
      {"letters only", Bytes{'1', 'A', 'W', 'U', 0xC8}},
      {"more records than 127 bytes hold", [] {
         Bytes body = Header(0x2C, 0x23, 0x20, 0x20 + 17);
         for (int j = 0; j < 17; ++j) Add(body, {Record(0x22, "000001")});
         return Frame({body});
       }()},
  };
  for (const auto& c : cases) {
    RecordingSink sink;
    sink.rows.raw[0] = 0x123456;
    EXPECT_EQ(sink.Handle(c.frame), 1) << c.name;
    EXPECT_EQ(sink.rows.raw[0].load(), 0x123456u) << c.name;
    EXPECT_EQ(sink.status, "") << c.name;
    EXPECT_EQ(sink.receiveTime, "") << c.name;
    EXPECT_EQ(sink.refreshes, 0) << c.name;
    EXPECT_TRUE(sink.appended.empty()) << c.name;
  }
}

TEST(FrameHandler, OnlyNodeReportsAndTheGatewayReplyAnswer) {
  const struct {
    Bytes frame;
    int32_t result;
  } cases[] = {
      {{}, 0},
      {{0xC8}, 0},
      {{'0', 0xC8}, 0},
      {{'0', '0', 0xC8}, 0},
      {{'0', '0', 'm', 'd', 0xC8}, 1},
      {{'0', '0', 'm', 'd', 'x', 'y', 'z', 0xC8}, 1},
      {{'0', '0', 'M', 'D', 0xC8}, 0},
      {{'0', '0', 'U', 'W', 0xC8}, 0},
      {{'0', '0', 'w', 'u', 0xC8}, 0},
  };
  for (const auto& c : cases) {
    RecordingSink sink;
    EXPECT_EQ(sink.Handle(c.frame), c.result);
    EXPECT_EQ(sink.refreshes, 0);
    EXPECT_TRUE(sink.appended.empty());
    EXPECT_EQ(sink.Raw(), (std::vector<uint32_t>(5, kNone)));
  }
}

TEST(FrameHandler, HexFieldsReadLikeTheStandardConversionsWithinTheField) {
  const struct {
    const char* digits;
    uint32_t raw;
  } raws[] = {
      {"00FF00", 0xFF00},     {"00ff0a", 0xFF0A},     {"  00FF", 0xFF},
      {"\t+000A", 0xA},       {"-00001", 0xFFFFFFFF}, {"0x00fF", 0xFF},
      {"12g456", 0x12},       {"zzzzzz", 0},          {"      ", 0},
  };
  for (const auto& c : raws) {
    RecordingSink sink;
    sink.Handle(Frame({Header(0x2C, 0x21, 0x20, 0x21), Record(0x22, c.digits)}));
    EXPECT_EQ(sink.rows.raw[0].load(), c.raw) << c.digits;
  }
  // A field is never read beyond its six characters: here the next record's
  // type byte 'F' would extend the number.
  RecordingSink sink;
  sink.Handle(Frame({Header(0x2C, 0x21, 0x20, 0x22), Record(0x22, "00000F"), Record('F', "000001")}));
  EXPECT_EQ(sink.rows.raw[0].load(), 0xFu);
  EXPECT_EQ(sink.rows.channelType[1].load(), 'F' - 0x20);

  const struct {
    Bytes node;
    int32_t value;
  } nodes[] = {{{'f', 'f'}, 255}, {{' ', '5'}, 5}, {{'-', '1'}, -1}, {{'G', '1'}, 0}, {{'1', 'G'}, 1}};
  for (const auto& c : nodes) {
    RecordingSink sink;
    Bytes frame = Frame({Header(0x2C, 0x21, 0x20, 0x20)});
    frame[0] = c.node[0];
    frame[1] = c.node[1];
    sink.Handle(frame);
    ASSERT_EQ(sink.appended.size(), 1u);
    EXPECT_EQ(sink.appended[0].node, c.value);
  }
}

}  // namespace
}  // namespace pelorin
