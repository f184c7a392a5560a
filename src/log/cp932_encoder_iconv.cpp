#include "cp932_encoder.h"

#include "utf8_sequence.h"

#include <iconv.h>

#include <cerrno>
#include <system_error>

namespace pelorin {

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// glibc's "CP932" writes some characters that code page 932 does not hold as
// look-alikes (¥ as a backslash, — as ―, 〜 as ～) and drops others without a
// word (the tag characters). A character is therefore taken only when its
// bytes read back as that very character, as the system's own code page 932
// on Windows takes it: the same text is accepted, and written, on both.
struct Converters {
  iconv_t encode = iconv_open("CP932", "UTF-8");
  iconv_t decode = iconv_open("UTF-8", "CP932");

  Converters() = default;
  Converters(const Converters&) = delete;
  Converters& operator=(const Converters&) = delete;
  ~Converters() {
    if (encode != kNoConverter) iconv_close(encode);
    if (decode != kNoConverter) iconv_close(decode);
  }

  bool usable() const { return encode != kNoConverter && decode != kNoConverter; }
};

// Converts as far as iconv can; returns the number of input bytes consumed.
size_t Iconv(iconv_t converter, std::string_view text, std::string* out) {
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char buffer[256];
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    // Read before the append, which may allocate and so change errno.
    const bool outputFull = result == static_cast<size_t>(-1) && errno == E2BIG;
    out->append(buffer, static_cast<size_t>(outPtr - buffer));
    if (result == static_cast<size_t>(-1) && !outputFull) break;
  }
  return text.size() - inLeft;
}

bool ReadsBackAs(Converters& converters, std::string_view bytes, std::string_view utf8) {
  std::string back;
  return Iconv(converters.decode, bytes, &back) == bytes.size() && back == utf8;
}

// Single bytes that Windows' code page 932 gives these characters (and reads
// back as them) and glibc's table lacks.
constexpr struct {
  std::string_view utf8;
  char byte;
} kWindowsSingleBytes[] = {{"\xC2\x80", '\x80'},  // U+0080
                           {"\uF8F0", '\xA0'},
                           {"\uF8F1", '\xFD'},
                           {"\uF8F2", '\xFE'},
                           {"\uF8F3", '\xFF'}};

// One character, when code page 932 holds it exactly.
bool ConvertCharacter(Converters& converters, std::string_view character, std::string* out) {
  for (const auto& [utf8, byte] : kWindowsSingleBytes) {
    if (character == utf8) {
      out->push_back(byte);
      return true;
    }
  }
  std::string bytes;
  if (Iconv(converters.encode, character, &bytes) != character.size() ||
      !ReadsBackAs(converters, bytes, character)) {
    return false;
  }
  out->append(bytes);
  return true;
}

// A run of characters outside ASCII: all of it when it reads back whole,
// else character by character up to the first that code page 932 cannot hold.
size_t ConvertExactly(Converters& converters, std::string_view run, std::string* out) {
  std::string bytes;
  const size_t consumed = Iconv(converters.encode, run, &bytes);
  if (consumed == run.size() && ReadsBackAs(converters, bytes, run)) {
    out->append(bytes);
    return consumed;
  }
  size_t done = 0;
  while (done < run.size()) {
    const std::string_view character =
        run.substr(done, Utf8SequenceLength(static_cast<unsigned char>(run[done])));
    if (!ConvertCharacter(converters, character, out)) break;
    done += character.size();
  }
  return done;
}

Converters& Of(void* converter) { return *static_cast<Converters*>(converter); }

}  // namespace

std::optional<ConversionProblem> Cp932ConversionProblem() {
  static const std::optional<ConversionProblem> problem = []() -> std::optional<ConversionProblem> {
    for (const auto& [to, from] : {std::pair{"CP932", "UTF-8"}, std::pair{"UTF-8", "CP932"}}) {
      const iconv_t converter = iconv_open(to, from);
      if (converter == kNoConverter) {
        const int error = errno != 0 ? errno : EINVAL;
        return ConversionProblem{error, "iconv_open(\"" + std::string(to) + "\", \"" + from +
                                            "\"): " + std::generic_category().message(error)};
      }
      iconv_close(converter);
    }
    return std::nullopt;
  }();
  return problem;
}

Cp932Encoder::Cp932Encoder() : converter_(new Converters) {}

Cp932Encoder::~Cp932Encoder() { delete &Of(converter_); }

size_t Cp932Encoder::Convert(std::string_view utf8, std::string* out) {
  Converters& converters = Of(converter_);
  const auto ascii = [&](size_t i) { return static_cast<unsigned char>(utf8[i]) < 0x80; };
  size_t done = 0;
  while (done < utf8.size()) {
    // ASCII stands for itself in code page 932.
    size_t end = done;
    while (end < utf8.size() && ascii(end)) ++end;
    out->append(utf8.data() + done, end - done);
    done = end;
    if (done == utf8.size() || !converters.usable()) break;
    while (end < utf8.size() && !ascii(end)) ++end;
    const std::string_view run = utf8.substr(done, end - done);
    const size_t taken = ConvertExactly(converters, run, out);
    done += taken;
    if (taken < run.size()) break;
  }
  return done;
}

}  // namespace pelorin
