#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace pelorin {

inline constexpr uint8_t kFrameTerminator = 0xC8;
inline constexpr int32_t kRxBufferSize = 128;

// Cuts the received byte stream into frames that end with the terminator 0xC8.
// The terminator is kept as the frame's last byte, so the longest frame has 127
// bytes. A run that fills all 128 places is an overflow; the assembler then skips
// everything up to and including the next terminator, so that the next frame it
// completes starts at a frame boundary.
class FrameAssembler {
 public:
  enum class Result { Pending, FrameReady, Overflow };

  Result Push(uint8_t byte);

  // The completed frame, valid after FrameReady until the next Push or Clear.
  const uint8_t* data() const { return rxBuffer_.data(); }
  int32_t length() const { return rxLength_; }

  // Forgets the bytes gathered so far and any skip after an overflow: the next
  // byte starts a frame. Every new stream (open, reconnect, reopen) begins so.
  void Clear() {
    rxLength_ = 0;
    skipping_ = false;
  }
  // Drops everything up to and including the next terminator.
  void SkipToNextTerminator() {
    rxLength_ = 0;
    skipping_ = true;
  }

 private:
  std::array<uint8_t, kRxBufferSize> rxBuffer_{};
  int32_t rxLength_ = 0;
  bool skipping_ = false;
};

// The gateway's own "00gq" frame: its value is the fifth byte minus 0x20, where a
// frame with nothing after "00gq" counts the terminator's place as 0.
std::optional<int32_t> GatewayQueryValue(const uint8_t* frame, int32_t length);

}  // namespace pelorin
