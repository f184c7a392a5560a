#include "system_message.h"
#include "wide_text.h"

#include <windows.h>

#include <string_view>

namespace pelorin::logger {

// Windows gives its messages in the user's language, ended by CR LF; asked
// in UTF-16 they come through whatever the ANSI code page is.
std::string SystemMessage(int32_t code) {
  wchar_t text[512];
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(code), 0, text, static_cast<DWORD>(std::size(text)), nullptr);
  std::wstring_view message(text, length);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
    message.remove_suffix(1);
  }
  if (message.empty()) return "unknown error";
  return Narrow(message);
}

}  // namespace pelorin::logger
