#include "cp932_encoder.h"

#include "utf8_sequence.h"

#include <windows.h>

#include <algorithm>
#include <system_error>

namespace pelorin {

namespace {

constexpr UINT kShiftJis = 932;

}  // namespace

std::optional<ConversionProblem> Cp932ConversionProblem() {
  CPINFO info;
  if (GetCPInfo(kShiftJis, &info)) return std::nullopt;
  const DWORD error = GetLastError() != 0 ? GetLastError() : ERROR_INVALID_PARAMETER;
  return ConversionProblem{static_cast<int32_t>(error),
                           "GetCPInfo(932): " + std::system_category().message(static_cast<int>(error))};
}

Cp932Encoder::Cp932Encoder() = default;

Cp932Encoder::~Cp932Encoder() = default;

// One character at a time, so that the first one code page 932 cannot hold
// (or a malformed sequence) ends the run where it stands.
size_t Cp932Encoder::Convert(std::string_view utf8, std::string* out) {
  size_t done = 0;
  while (done < utf8.size()) {
    const size_t length =
        std::min(Utf8SequenceLength(static_cast<unsigned char>(utf8[done])), utf8.size() - done);
    wchar_t wide[2];
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data() + done,
                                          static_cast<int>(length), wide, 2);
    if (units <= 0) break;
    char bytes[4];
    BOOL lost = FALSE;
    const int count = WideCharToMultiByte(kShiftJis, WC_NO_BEST_FIT_CHARS, wide, units, bytes,
                                          sizeof bytes, nullptr, &lost);
    if (count <= 0 || lost) break;
    out->append(bytes, static_cast<size_t>(count));
    done += length;
  }
  return done;
}

}  // namespace pelorin
