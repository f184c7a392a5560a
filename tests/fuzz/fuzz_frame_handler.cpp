// Arbitrary frames through the window's frame handler, with every text the
// window and the log would make from the decoded report.

#include "channel_types.h"
#include "frame_handler.h"
#include "models.h"
#include "report_sink.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

class FormattingSink : public pelorin::ReportSink {
 public:
  pelorin::RowValues& Rows() override { return rows_; }
  void SetNodeStatus(std::string_view text) override { Touch(text); }
  void SetReceiveTime(std::string_view text) override { Touch(text); }
  void RequestRowRefresh() override {
    for (int r = 0; r < pelorin::kRowCount; ++r) {
      const auto text = pelorin::FormatAnalog(rows_.channelType[r].load(), rows_.raw[r].load());
      Touch(text.number);
    }
  }
  void AppendRecord(const pelorin::NodeReport& report) override {
    if (report.digitalCount < 0 || report.digitalCount > pelorin::kRowCount) std::abort();
    if (report.analogCount < 0 || report.analogCount > pelorin::kMaxAnalogRecords) std::abort();
    Touch(pelorin::ModelName(report.model));
    for (int j = 0; j < report.analogCount; ++j) {
      const auto text = pelorin::FormatAnalog(report.analog[j].channelType, report.analog[j].raw);
      Touch(text.number);
      Touch(text.unit);
    }
  }
  std::time_t Now() override { return 1765000000; }

 private:
  void Touch(std::string_view text) { checksum_ += text.size(); }
  pelorin::RowValues rows_;
  size_t checksum_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  // An exact-size copy, so that ASan sees any read past the frame.
  std::vector<uint8_t> frame(data, data + size);
  FormattingSink sink;
  const int32_t result = pelorin::protocol::FrameHandler(static_cast<pelorin::ReportSink*>(&sink),
                                               frame.data(), static_cast<int32_t>(frame.size()));
  if (result != 0 && result != 1) std::abort();
  return 0;
}
