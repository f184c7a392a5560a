#pragma once

#include <string>
#include <string_view>

namespace pelorin {

// Windows takes UTF-16 (its wide calls), so that Japanese passes on every
// system language; the program's own texts are UTF-8. Windows only.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

}  // namespace pelorin
