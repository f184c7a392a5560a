#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace pelorin::test {

// A FrameHandler owner that records every frame. It answers 1 for the frames
// that reply to a command ("md", and node reports "WU"), like the window does,
// or always answers `everyFrame` when that is set.
class FrameCollector {
 public:
  static int32_t Handle(void* owner, const uint8_t* frame, int32_t length);
  // A BatchHandler: notes how many frames had come when a read's were all in.
  static void EndBatch(void* owner);

  std::vector<std::vector<uint8_t>> Frames() const;
  size_t Count() const;
  // Waits until count frames have arrived; false when timeoutMs runs out.
  bool WaitFor(size_t count, int timeoutMs = 5000) const;
  void Clear();
  // The frame counts at each end of a batch so far.
  std::vector<size_t> BatchEnds() const;

  std::atomic<int> everyFrame{-1};

 private:
  mutable std::mutex mutex_;
  std::vector<std::vector<uint8_t>> frames_;
  std::vector<size_t> batchEnds_;
};

}  // namespace pelorin::test
