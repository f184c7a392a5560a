#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace pelorin::sim {

using Frame = std::vector<uint8_t>;

struct AnalogRecord {
  int channelType;  // 0..6
  uint32_t raw;     // 24-bit two's complement reading
};

struct ReportContent {
  int node = 0;            // 0..255, sent as two hexadecimal digits
  int id = 0;              // 0..15, sent as 0x2F - id
  int model = 0;           // sent as model + 0x20
  std::vector<uint8_t> digitalBytes;  // A bytes, four inputs in each low nibble
  std::vector<AnalogRecord> analog;   // B records
};

// "WU" node report: node, 'W', 'U', ID, model, A, B, digital bytes, analog
// records (type + six hexadecimal digits), terminator 0xC8.
Frame NodeReport(const ReportContent& report);
// The gateway's reply to the start command: node 00, "md", terminator.
Frame GatewayReply();
// The gateway's own "00gq" frame carrying value (value + 0x20 as one byte).
Frame GatewayQuery(int value);
// A report that shows every kind of row: node 26, KT-200 with the five inputs
// 1 0 1 0 0, a 10 V channel at 5 V and a temperature channel with a broken wire.
ReportContent FixedReport();
// A command frame as the program sends it: "%02d" node, command, terminator.
Frame Command(int node, const char* command);

// Plausible reports from a fixed set of nodes: several models, digital inputs,
// analog channels of every type, now and then a wire-break code.
class ReportGenerator {
 public:
  explicit ReportGenerator(uint32_t seed);
  ReportContent Next();

 private:
  std::mt19937 random_;
  uint32_t sequence_ = 0;
};

}  // namespace pelorin::sim
