#include "repeated_lines.h"

#include <algorithm>
#include <cctype>

namespace pelorin::logger {

namespace {

// Kinds remembered: enough for a gateway that comes and goes (lost,
// reconnected) or that is tried and not found, with a log problem besides.
constexpr size_t kKindsKept = 4;

std::string Span(std::chrono::steady_clock::duration span) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(span).count();
  return seconds < 60 ? std::to_string(seconds) + " s" : std::to_string((seconds + 30) / 60) + " min";
}

}  // namespace

RepeatedLines::RepeatedLines(Clock clock, std::chrono::seconds period)
    : clock_(std::move(clock)), period_(period) {}

std::string RepeatedLines::KeyOf(std::string_view text, bool failure) {
  if (failure) return "!" + std::string(text);
  std::string key;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
    if (!digit) {
      key += text[i];
    } else if (i == 0 || !std::isdigit(static_cast<unsigned char>(text[i - 1]))) {
      key += '#';
    }
  }
  return key;
}

RepeatedLines::Line RepeatedLines::Summary(const Kind& kind, std::chrono::steady_clock::time_point now) const {
  // One line held back is told as it came.
  if (kind.held == 1) return kind.latest;
  return {kind.latest.text + " (" + std::to_string(kind.held) + " times like this in the last " +
              Span(now - kind.told) + ")",
          kind.latest.failure};
}

void RepeatedLines::Release(Kind& kind, std::chrono::steady_clock::time_point now,
                            std::vector<Line>* out) const {
  if (kind.held == 0) return;
  out->push_back(Summary(kind, now));
  kind.held = 0;
  kind.told = now;
}

std::vector<RepeatedLines::Line> RepeatedLines::Take(std::string_view text, bool failure) {
  const auto now = clock_();
  std::string key = KeyOf(text, failure);
  const auto found = std::find_if(recent_.begin(), recent_.end(), [&](const Kind& kind) { return kind.key == key; });
  if (found != recent_.end() && now - found->told < period_) {
    ++found->held;
    found->latest = {std::string(text), failure};
    return {};
  }
  Kind kind;
  kind.key = std::move(key);
  if (found != recent_.end()) {
    kind.held = found->held;
    kind.told = found->told;
    recent_.erase(found);
  }
  // What was held back comes first, in its place before the new line.
  std::vector<Line> out;
  for (Kind& other : recent_) Release(other, now, &out);
  if (kind.held == 0) {
    out.push_back({std::string(text), failure});
  } else {
    ++kind.held;
    kind.latest = {std::string(text), failure};
    out.push_back(Summary(kind, now));
    kind.held = 0;
  }
  kind.told = now;
  recent_.push_back(std::move(kind));
  if (recent_.size() > kKindsKept) recent_.erase(recent_.begin());
  return out;
}

std::vector<RepeatedLines::Line> RepeatedLines::TakeDue() {
  const auto now = clock_();
  std::vector<Line> out;
  for (Kind& kind : recent_) {
    if (now - kind.told >= period_) Release(kind, now, &out);
  }
  return out;
}

}  // namespace pelorin::logger
