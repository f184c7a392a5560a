#include "frame_collector.h"

#include <chrono>
#include <thread>

namespace pelorin::test {

int32_t FrameCollector::Handle(void* owner, const uint8_t* frame, int32_t length) {
  auto* self = static_cast<FrameCollector*>(owner);
  {
    std::lock_guard lock(self->mutex_);
    self->frames_.emplace_back(frame, frame + length);
  }
  if (self->everyFrame >= 0) return self->everyFrame;
  const bool reply = length >= 4 && ((frame[2] == 'm' && frame[3] == 'd') ||
                                     (frame[2] == 'W' && frame[3] == 'U'));
  return reply ? 1 : 0;
}

void FrameCollector::EndBatch(void* owner) {
  auto* self = static_cast<FrameCollector*>(owner);
  std::lock_guard lock(self->mutex_);
  self->batchEnds_.push_back(self->frames_.size());
}

std::vector<size_t> FrameCollector::BatchEnds() const {
  std::lock_guard lock(mutex_);
  return batchEnds_;
}

std::vector<std::vector<uint8_t>> FrameCollector::Frames() const {
  std::lock_guard lock(mutex_);
  return frames_;
}

size_t FrameCollector::Count() const {
  std::lock_guard lock(mutex_);
  return frames_.size();
}

void FrameCollector::Clear() {
  std::lock_guard lock(mutex_);
  frames_.clear();
}

bool FrameCollector::WaitFor(size_t count, int timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Count() < count) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace pelorin::test
