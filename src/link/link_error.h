#pragma once

#include <cstdint>
#include <string>

namespace pelorin {

// The link's own failure reasons. Every other reason a link operation reports is
// the platform's error number (errno, or a getaddrinfo code).
struct LinkError {
  static constexpr int32_t NotConnected = 20000;
  static constexpr int32_t NotOpen = 20001;
  static constexpr int32_t AlreadyOpen = 20002;
  static constexpr int32_t Timeout = 20003;
  static constexpr int32_t NoData = 20004;
  static constexpr int32_t CommandError = 20005;
  static constexpr int32_t BufferError = 20006;
  static constexpr int32_t Abort = 20007;
};

// The outcome of a link operation: code 0 on success, otherwise the reason.
struct [[nodiscard]] LinkStatus {
  int32_t code = 0;
  bool ok() const { return code == 0; }
};

// The message text the window shows for a failure reason, in UTF-8:
// "通信エラー : <code>" plus the suffix of the link's own codes.
std::string LinkErrorText(int32_t code);

}  // namespace pelorin
