#include "cp932_encoder.h"

#include <algorithm>
#include <cerrno>

namespace pelorin {

namespace {

// Length of the UTF-8 sequence that starts with lead (1 for a stray byte).
size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

}  // namespace

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

void Cp932Encoder::Append(std::string_view utf8, std::string* out) {
  while (!utf8.empty()) {
    const size_t done = Convert(utf8, out);
    if (done == utf8.size()) return;
    out->push_back('?');
    const size_t skip = std::min(SequenceLength(static_cast<unsigned char>(utf8[done])),
                                 utf8.size() - done);
    utf8.remove_prefix(done + skip);
  }
}

std::optional<size_t> Cp932Encoder::EncodedLength(std::string_view utf8) {
  std::string bytes;
  if (Convert(utf8, &bytes) != utf8.size()) return std::nullopt;
  return bytes.size();
}

}  // namespace pelorin
