#include "cp932_encoder.h"

#include "utf8_sequence.h"

#include <algorithm>

namespace pelorin {

void Cp932Encoder::Append(std::string_view utf8, std::string* out) {
  while (!utf8.empty()) {
    const size_t done = Convert(utf8, out);
    if (done == utf8.size()) return;
    out->push_back('?');
    const size_t skip = std::min(Utf8SequenceLength(static_cast<unsigned char>(utf8[done])),
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
