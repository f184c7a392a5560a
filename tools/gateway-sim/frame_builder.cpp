#include "frame_builder.h"

#include <cstdio>
#include <cstring>

namespace pelorin::sim {

namespace {

constexpr uint8_t kTerminator = 0xC8;

void AppendHex(Frame& frame, uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  frame.insert(frame.end(), text, text + digits);
}

// Raw reading for a value in units of the type's full scale (-1.0 .. 1.0).
uint32_t RawFor(double fraction) {
  const auto scaled = static_cast<int32_t>(fraction * 8388607.0);
  return static_cast<uint32_t>(scaled) & 0xFFFFFFu;
}

struct NodeProfile {
  int node;
  int id;
  int model;
  int digitalBytes;           // A: 2 decodes digital inputs, anything else skips them
  std::vector<int> channels;  // channel types of the analog records
};

const std::vector<NodeProfile>& Profiles() {
  static const std::vector<NodeProfile> profiles = {
      {0x1A, 3, 3, 2, {2, 6}},         // KT-300: three inputs, 10 V and temperature
      {0x05, 0, 2, 2, {}},             // KT-200: five digital inputs only
      {0x21, 7, 8, 0, {0, 1, 2, 3, 4}},  // KT-500: five analog channels
      {0x42, 12, 9, 2, {5, 6, 6}},     // KT-600: current loop and two temperatures
      {0x7F, 15, 4, 2, {3}},           // KT-400: two inputs and 30 V
  };
  return profiles;
}

}  // namespace

Frame NodeReport(const ReportContent& report) {
  Frame frame;
  frame.reserve(9 + report.digitalBytes.size() + 7 * report.analog.size());
  AppendHex(frame, static_cast<uint32_t>(report.node) & 0xFF, 2);
  frame.push_back('W');
  frame.push_back('U');
  frame.push_back(static_cast<uint8_t>(0x2F - report.id));
  frame.push_back(static_cast<uint8_t>(report.model + 0x20));
  frame.push_back(static_cast<uint8_t>(report.digitalBytes.size() + 0x20));
  frame.push_back(static_cast<uint8_t>(report.analog.size() + 0x20));
  frame.insert(frame.end(), report.digitalBytes.begin(), report.digitalBytes.end());
  for (const AnalogRecord& record : report.analog) {
    frame.push_back(static_cast<uint8_t>(record.channelType + 0x20));
    AppendHex(frame, record.raw & 0xFFFFFFu, 6);
  }
  frame.push_back(kTerminator);
  return frame;
}

Frame GatewayReply() { return Frame{'0', '0', 'm', 'd', kTerminator}; }

Frame GatewayQuery(int value) {
  return Frame{'0', '0', 'g', 'q', static_cast<uint8_t>(value + 0x20), kTerminator};
}

ReportContent FixedReport() {
  ReportContent report;
  report.node = 0x1A;
  report.id = 3;
  report.model = 2;
  report.digitalBytes = {0x35, 0x30};
  report.analog = {{2, 0x400000}, {6, 0x7FFFFF}};
  return report;
}

Frame Command(int node, const char* command) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", node);
  Frame frame(text, text + std::strlen(text));
  frame.insert(frame.end(), command, command + std::strlen(command));
  frame.push_back(kTerminator);
  return frame;
}

ReportGenerator::ReportGenerator(uint32_t seed) : random_(seed) {}

ReportContent ReportGenerator::Next() {
  const auto& profiles = Profiles();
  const NodeProfile& profile = profiles[sequence_ % profiles.size()];
  ++sequence_;
  std::uniform_real_distribution<double> level(-0.2, 0.9);
  std::uniform_int_distribution<int> bits(0, 15);
  std::uniform_int_distribution<int> percent(0, 99);

  ReportContent report;
  report.node = profile.node;
  report.id = profile.id;
  report.model = profile.model;
  for (int i = 0; i < profile.digitalBytes; ++i) {
    report.digitalBytes.push_back(static_cast<uint8_t>(0x30 | bits(random_)));
  }
  for (int type : profile.channels) {
    uint32_t raw = RawFor(level(random_));
    if (type == 6) {
      raw = RawFor(22.5 / 3276.8 + level(random_) * 0.001);  // room temperature
      if (percent(random_) < 5) raw = percent(random_) < 50 ? 0x7FFFFFu : 0x800000u;
    }
    report.analog.push_back({type, raw});
  }
  return report;
}

}  // namespace pelorin::sim
