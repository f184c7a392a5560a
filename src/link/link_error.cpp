#include "link_error.h"

#include <array>
#include <string_view>

namespace pelorin {

namespace {

// Suffixes of the codes 20000..20008, appended without a blank.
constexpr std::array<std::string_view, 9> kSuffixes = {
    "",                    // 20000 NotConnected
    "(多重接続)",          // 20001 NotOpen
    "(接続済)",            // 20002 AlreadyOpen
    "(タイムアウト)",      // 20003 Timeout
    "(NO DATA)",           // 20004 NoData
    "(COMMAND ERROR)",     // 20005 CommandError
    "(BUFFER ERROR)",      // 20006 BufferError
    "(ABORT)",             // 20007 Abort
    "",                    // 20008
};

}  // namespace

std::string LinkErrorText(int32_t code) {
  std::string text = "通信エラー : " + std::to_string(code);
  if (code >= 20000 && code <= 20008) {
    text += kSuffixes[static_cast<size_t>(code - 20000)];
  }
  return text;
}

}  // namespace pelorin
