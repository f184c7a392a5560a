#include "cp932_encoder.h"

#include <cerrno>

namespace pelorin {

Cp932Encoder::Cp932Encoder() : converter_(iconv_open("CP932", "UTF-8")) {}

Cp932Encoder::~Cp932Encoder() {
  if (converter_ != reinterpret_cast<iconv_t>(-1)) iconv_close(converter_);
}

size_t Cp932Encoder::Convert(std::string_view utf8, std::string* out) {
  if (converter_ == reinterpret_cast<iconv_t>(-1)) return 0;
  iconv(converter_, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char buffer[256];
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t result = iconv(converter_, &in, &inLeft, &outPtr, &outLeft);
    out->append(buffer, static_cast<size_t>(outPtr - buffer));
    if (result == static_cast<size_t>(-1) && errno != E2BIG) break;
  }
  return utf8.size() - inLeft;
}

}  // namespace pelorin
