#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelorin {

// Converts UTF-8 text to code page 932 (Shift-JIS), the encoding of every text
// that leaves the program: with iconv on Linux, with the system's own code page
// 932 on Windows. One converter serves many texts; it is not safe to share
// between threads.
class Cp932Encoder {
 public:
  Cp932Encoder();
  ~Cp932Encoder();
  Cp932Encoder(const Cp932Encoder&) = delete;
  Cp932Encoder& operator=(const Cp932Encoder&) = delete;

  // Appends the CP932 bytes of utf8 to out; a character that CP932 cannot hold
  // (or a malformed UTF-8 sequence) becomes '?'.
  void Append(std::string_view utf8, std::string* out);

  // The number of CP932 bytes of utf8, or nothing when CP932 cannot hold it.
  std::optional<size_t> EncodedLength(std::string_view utf8);

 private:
  // Converts as far as it can; returns the number of input bytes consumed.
  // The one part that each system does its own way.
  size_t Convert(std::string_view utf8, std::string* out);

  void* converter_ = nullptr;  // the system's converter, where it keeps one
};

struct ConversionProblem {
  int32_t error;       // the system's error number
  std::string reason;  // and its text
};

// Why this system cannot convert to code page 932 (a C library without its
// converter modules, a Windows without the code page), or nothing when it can.
// Without it every character outside ASCII becomes '?'.
std::optional<ConversionProblem> Cp932ConversionProblem();

}  // namespace pelorin
