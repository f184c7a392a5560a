#include "cp932_encoder.h"

#include <iconv.h>

#include <cerrno>

namespace pelorin {

namespace {

iconv_t Converter(void* converter) { return static_cast<iconv_t>(converter); }
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

}  // namespace

Cp932Encoder::Cp932Encoder() : converter_(iconv_open("CP932", "UTF-8")) {}

Cp932Encoder::~Cp932Encoder() {
  if (Converter(converter_) != kNoConverter) iconv_close(Converter(converter_));
}

size_t Cp932Encoder::Convert(std::string_view utf8, std::string* out) {
  const iconv_t converter = Converter(converter_);
  if (converter == kNoConverter) return 0;
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char buffer[256];
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    out->append(buffer, static_cast<size_t>(outPtr - buffer));
    if (result == static_cast<size_t>(-1) && errno != E2BIG) break;
  }
  return utf8.size() - inLeft;
}

}  // namespace pelorin
