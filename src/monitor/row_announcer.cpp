#include "row_announcer.h"

namespace pelorin::monitor {

bool RowAnnouncer::Due(size_t row, std::string_view text, Clock::time_point now) {
  if (row >= told_.size() || text.empty()) return false;
  std::optional<Told>& told = told_[row];
  if (told && (told->text == text || now - told->at < kCalmInterval)) return false;
  told = Told{std::string(text), now};
  return true;
}

void RowAnnouncer::Forget() { told_.fill(std::nullopt); }

}  // namespace pelorin::monitor
