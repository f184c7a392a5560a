#include "terminal_cells.h"

#include "utf8_sequence.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace pelorin::logger {

namespace {

struct Range {
  char32_t first, last;
};

// Unicode's East Asian Width W and F, by block; ordered.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x2329, 0x232A},   {0x2E80, 0x303E},   {0x3041, 0x33FF},
    {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xA960, 0xA97F},
    {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},
    {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1B000, 0x1B2FF}, {0x1F300, 0x1F64F},
    {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

bool IsWide(char32_t c) {
  const auto range = std::upper_bound(std::begin(kWide), std::end(kWide), c,
                                      [](char32_t value, const Range& r) { return value < r.first; });
  return range != std::begin(kWide) && c <= std::prev(range)->last;
}

}  // namespace

size_t TerminalCells(std::string_view text) {
  size_t cells = 0;
  for (size_t at = 0; at < text.size();) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const size_t length = std::min(Utf8SequenceLength(lead), text.size() - at);
    // The lead byte's bits, then six from each continuation byte.
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) c = (c << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    cells += IsWide(c) ? 2 : 1;
    at += length;
  }
  return cells;
}

}  // namespace pelorin::logger
