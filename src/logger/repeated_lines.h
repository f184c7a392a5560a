#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin::logger {

// Keeps a journal readable when the same events come again and again (a
// gateway that drops every connection, a gateway that stays away): a line
// like one told less than the period ago is held back and counted; the
// latest of them is told with its count when another kind of line is told,
// or once the period since the kind was last told has passed.
// Lines are alike when they differ only in their numbers; failure lines only
// when they are the same, so that no count of theirs goes untold.
class RepeatedLines {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  struct Line {
    std::string text;
    bool failure = false;
  };

  explicit RepeatedLines(Clock clock = std::chrono::steady_clock::now,
                         std::chrono::seconds period = std::chrono::minutes(10));

  // The lines to tell for this one: none while it repeats a recent one.
  std::vector<Line> Take(std::string_view text, bool failure);
  // The counts that have waited a whole period.
  std::vector<Line> TakeDue();

 private:
  struct Kind {
    std::string key;
    std::chrono::steady_clock::time_point told;  // the last line of the kind that was told
    uint64_t held = 0;                           // lines held back since
    Line latest;                                 // the last of them
  };

  static std::string KeyOf(std::string_view text, bool failure);
  // The latest line held back, with how often the kind came since it was told.
  Line Summary(const Kind& kind, std::chrono::steady_clock::time_point now) const;
  void Release(Kind& kind, std::chrono::steady_clock::time_point now, std::vector<Line>* out) const;

  const Clock clock_;
  const std::chrono::seconds period_;
  std::vector<Kind> recent_;  // the kinds told last, the latest at the end
};

}  // namespace pelorin::logger
