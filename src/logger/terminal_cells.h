#pragma once

#include <cstddef>
#include <string_view>

namespace pelorin::logger {

// The terminal cells that UTF-8 text takes: two for an East Asian wide or
// fullwidth character (kanji, kana, Hangul, fullwidth forms, emoji), one for
// any other, whatever the locale. Characters of ambiguous width (℃, ■, □,
// Greek) take one, as terminals draw them unless told to use a CJK width.
size_t TerminalCells(std::string_view text);

}  // namespace pelorin::logger
