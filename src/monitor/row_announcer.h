#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace pelorin::monitor {

// Decides when a row's new text is told to screen readers: a busy gateway
// changes a value many times a second, more than anyone can listen to. A row
// is told what it shows at most once a calm interval; a text that differs from
// the one last told is told at the first look after that interval, so the
// last word of a burst is heard with the next report that comes later.
class RowAnnouncer {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kCalmInterval = std::chrono::seconds(1);

  // Whether the row's text is to be told now; if so, it is noted as told.
  bool Due(size_t row, std::string_view text, Clock::time_point now);
  // A new session: nothing has been told.
  void Forget();

 private:
  struct Told {
    std::string text;
    Clock::time_point at;
  };
  std::array<std::optional<Told>, 5> told_{};
};

}  // namespace pelorin::monitor
