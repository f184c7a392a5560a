#include "edit_input_rule.h"

#include "utf8_sequence.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace pelorin::monitor {

namespace {

uint32_t CodePoint(std::string_view character) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(character[i]); };
  switch (character.size()) {
    case 2:
      return (byte(0) & 0x1Fu) << 6 | (byte(1) & 0x3Fu);
    case 3:
      return (byte(0) & 0x0Fu) << 12 | (byte(1) & 0x3Fu) << 6 | (byte(2) & 0x3Fu);
    case 4:
      return (byte(0) & 0x07u) << 18 | (byte(1) & 0x3Fu) << 12 | (byte(2) & 0x3Fu) << 6 |
             (byte(3) & 0x3Fu);
    default:
      return byte(0);
  }
}

bool IsControl(uint32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

}  // namespace

EditLimits EditLimitsOf(const ControlEntry& edit) {
  return {edit.textLimit > 0 ? edit.textLimit : 0x7FFF, (edit.flags & kDigitsOnly) != 0,
          (edit.flags & kNoComma) != 0};
}

std::optional<EditText> ApplyEditInputRule(const EditText& changed, EditLimits limits,
                                           Cp932Encoder& encoder) {
  std::string input = changed.text;
  size_t cursor = std::min(changed.cursor, input.size());
  // Of what came in, the first line stays.
  const size_t lineBreak = input.find_first_of("\r\n");
  if (lineBreak < cursor) {
    input.erase(lineBreak, cursor - lineBreak);
    cursor = lineBreak;
  }

  // Every character that the edit cannot hold is left out.
  EditText kept;
  size_t bytes = 0;
  std::vector<std::pair<size_t, size_t>> beforeCursor;  // UTF-8 length, CP932 bytes
  for (size_t i = 0; i < input.size();) {
    const size_t length = std::min(Utf8SequenceLength(static_cast<unsigned char>(input[i])), input.size() - i);
    const std::string_view character(input.data() + i, length);
    const uint32_t c = CodePoint(character);
    const bool allowed = !IsControl(c) && (!limits.digitsOnly || (c >= '0' && c <= '9')) &&
                         !(limits.noComma && c == ',');
    if (const auto count = allowed ? encoder.EncodedLength(character) : std::nullopt) {
      kept.text += character;
      bytes += *count;
      if (i < cursor) {
        kept.cursor += length;
        beforeCursor.emplace_back(length, *count);
      }
    }
    i += length;
  }
  // Too long: the end of what came in goes, by whole characters, until the rest fits.
  const auto limit = static_cast<size_t>(std::max(limits.bytes, 0));
  while (bytes > limit && !beforeCursor.empty()) {
    const auto [length, count] = beforeCursor.back();
    beforeCursor.pop_back();
    kept.cursor -= length;
    kept.text.erase(kept.cursor, length);
    bytes -= count;
  }
  if (bytes > limit) return std::nullopt;
  return kept;
}

}  // namespace pelorin::monitor
