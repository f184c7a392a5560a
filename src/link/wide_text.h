#pragma once

#include <string>
#include <string_view>

namespace pelorin::ui {

// The window speaks UTF-16 to Windows, so that Japanese shows on every
// system language; the monitor core speaks UTF-8.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

}  // namespace pelorin::ui
