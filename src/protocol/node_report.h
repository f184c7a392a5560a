#pragma once

#include "channel_types.h"
#include "models.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <thread>

namespace pelorin {

inline constexpr int kRowCount = 5;
// A frame of at most 127 bytes holds at most 16 analog records of 7 bytes.
inline constexpr int kMaxAnalogRecords = 16;

struct AnalogRecord {
  ChannelType channelType;
  uint32_t raw;
};

// One decoded node report.
struct NodeReport {
  std::time_t timestamp = 0;  // local time of decoding, seconds
  int32_t node = 0;
  int32_t id = 0;
  ModelIndex model = 0;
  int32_t digitalCount = 0;
  std::array<int32_t, kRowCount> digital{};  // 0 or 1, in input order
  int32_t analogCount = 0;
  std::array<AnalogRecord, kMaxAnalogRecords> analog{};  // in frame order
};

// The window's five rows, written by the receive thread and read by the
// window: each element is one atomic 32-bit word. The receive thread writes a
// report's rows between BeginReport and EndReport; the window takes them with
// Read, which never mixes the rows of two reports (a node's volts with the
// next node's unit). One thread writes at a time.
struct RowValues {
  static constexpr int32_t kNone = -1;
  static constexpr uint32_t kNoRaw = 0xFFFFFFFFu;

  std::array<std::atomic<int32_t>, kRowCount> digital;
  std::array<std::atomic<uint32_t>, kRowCount> raw;
  std::array<std::atomic<ChannelType>, kRowCount> channelType;

  // The rows as one report left them.
  struct Snapshot {
    std::array<int32_t, kRowCount> digital;
    std::array<uint32_t, kRowCount> raw;
    std::array<ChannelType, kRowCount> channelType;
  };

  RowValues() {
    Clear();
    for (auto& type : channelType) type.store(0);
  }
  // No digital state and no analog value in any row; channel types stay.
  void Clear() {
    for (auto& d : digital) d.store(kNone);
    for (auto& r : raw) r.store(kNoRaw);
  }

  // The count is odd while a report is being written.
  void BeginReport() {
    writes_.fetch_add(1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
  }
  void EndReport() { writes_.fetch_add(1, std::memory_order_release); }

  // Reads until no report was written meanwhile: a write takes well under a
  // microsecond, so a read is seldom taken again.
  Snapshot Read() const {
    Snapshot rows;
    for (;;) {
      const uint32_t before = writes_.load(std::memory_order_acquire);
      for (size_t i = 0; i < kRowCount; ++i) {
        rows.digital[i] = digital[i].load(std::memory_order_relaxed);
        rows.raw[i] = raw[i].load(std::memory_order_relaxed);
        rows.channelType[i] = channelType[i].load(std::memory_order_relaxed);
      }
      std::atomic_thread_fence(std::memory_order_acquire);
      if ((before & 1u) == 0 && writes_.load(std::memory_order_relaxed) == before) return rows;
      std::this_thread::yield();
    }
  }

 private:
  std::atomic<uint32_t> writes_{0};
};

}  // namespace pelorin
