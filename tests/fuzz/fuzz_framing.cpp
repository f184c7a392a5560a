// Arbitrary byte streams through the link's framing: every frame handed on is
// at most 127 bytes, ends with its one terminator, and nothing is written past
// the receive buffer.

#include "frame_assembler.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pelorin::FrameAssembler assembler;
  for (size_t i = 0; i < size; ++i) {
    if (assembler.Push(data[i]) != pelorin::FrameAssembler::Result::FrameReady) continue;
    const uint8_t* frame = assembler.data();
    const int32_t length = assembler.length();
    if (length < 1 || length > 127 || frame[length - 1] != pelorin::kFrameTerminator) std::abort();
    for (int32_t j = 0; j + 1 < length; ++j) {
      if (frame[j] == pelorin::kFrameTerminator) std::abort();
    }
    if (const auto value = pelorin::GatewayQueryValue(frame, length)) {
      if (*value < -32 || *value > 223) std::abort();
    }
    assembler.Clear();
  }
  return 0;
}
