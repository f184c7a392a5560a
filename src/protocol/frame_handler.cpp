#include "frame_handler.h"

#include "report_decoder.h"
#include "report_sink.h"

namespace pelorin::protocol {

int32_t FrameHandler(void* owner, const uint8_t* frame, int32_t length) {
  // Bytes 2 and 3 are the command letters; shorter frames answer nothing.
  if (length < 4) return 0;
  if (frame[2] == 'W' && frame[3] == 'U') {
    DecodeNodeReport(*static_cast<ReportSink*>(owner), frame, length);
    return 1;
  }
  if (frame[2] == 'm' && frame[3] == 'd') return 1;
  return 0;
}

}  // namespace pelorin::protocol
