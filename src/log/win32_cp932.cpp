#include "cp932_encoder.h"

#include "utf8_sequence.h"

#include <windows.h>

#include <algorithm>

namespace pelorin {

namespace {

constexpr UINT kCodePage932 = 932;

// Appends the code page 932 bytes of one UTF-8 character; false when the
// sequence is malformed or code page 932 has no such character.
bool AppendCharacter(std::string_view character, std::string* out) {
  wchar_t wide[2];
  const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, character.data(),
                                        static_cast<int>(character.size()), wide, 2);
  if (units <= 0) return false;
  char bytes[4];
  BOOL usedDefault = FALSE;
  // No best fit: a character that the code page lacks must not turn into a
  // look-alike.
  const int length = WideCharToMultiByte(kCodePage932, WC_NO_BEST_FIT_CHARS, wide, units,
                                         bytes, sizeof bytes, nullptr, &usedDefault);
  if (length <= 0 || usedDefault) return false;
  out->append(bytes, static_cast<size_t>(length));
  return true;
}

}  // namespace

// The system converts without state: nothing to open or close.
Cp932Encoder::Cp932Encoder() = default;

Cp932Encoder::~Cp932Encoder() = default;

// One character at a time, so that the conversion stops right before the first
// character that code page 932 cannot hold.
size_t Cp932Encoder::Convert(std::string_view utf8, std::string* out) {
  size_t done = 0;
  while (done < utf8.size()) {
    const size_t length = std::min(Utf8SequenceLength(static_cast<unsigned char>(utf8[done])),
                                   utf8.size() - done);
    if (!AppendCharacter(utf8.substr(done, length), out)) break;
    done += length;
  }
  return done;
}

}  // namespace pelorin
