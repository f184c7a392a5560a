#include "frame_assembler.h"

#include <cstring>

namespace pelorin {

FrameAssembler::Result FrameAssembler::Push(uint8_t byte) {
  if (skipping_) {
    if (byte == kFrameTerminator) skipping_ = false;
    return Result::Pending;
  }
  rxBuffer_[static_cast<size_t>(rxLength_)] = byte;
  ++rxLength_;
  if (rxLength_ >= kRxBufferSize) {
    // The byte that fills the last place is never dispatched as a terminator.
    // When it is one, the over-long frame ended with it and the next byte
    // already starts a new frame; otherwise skip to the next terminator.
    rxLength_ = 0;
    skipping_ = byte != kFrameTerminator;
    return Result::Overflow;
  }
  return byte == kFrameTerminator ? Result::FrameReady : Result::Pending;
}

std::optional<int32_t> GatewayQueryValue(const uint8_t* frame, int32_t length) {
  if (length < 5 || std::memcmp(frame, "00gq", 4) != 0) return std::nullopt;
  const int32_t fifth = length == 5 ? 0 : frame[4];
  return fifth - 0x20;
}

}  // namespace pelorin
