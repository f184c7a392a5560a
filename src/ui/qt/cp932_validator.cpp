#include "cp932_validator.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace pelorin::ui {

Cp932Validator::Cp932Validator(int limitBytes, bool digitsOnly, QObject* parent)
    : QValidator(parent), limitBytes_(limitBytes), digitsOnly_(digitsOnly) {}

std::optional<size_t> Cp932Validator::Bytes(QStringView character) const {
  const QChar first = character.front();
  if (first.category() == QChar::Other_Control) return std::nullopt;
  if (digitsOnly_ && (first < u'0' || first > u'9')) return std::nullopt;
  const QByteArray utf8 = character.toUtf8();
  return encoder_.EncodedLength(std::string_view(utf8.constData(), utf8.size()));
}

QValidator::State Cp932Validator::validate(QString& input, int& position) const {
  // Of what came in, the first line stays.
  const auto entered = input.cbegin() + std::clamp<qsizetype>(position, 0, input.size());
  const auto lineBreak =
      std::find_if(input.cbegin(), entered, [](QChar c) { return c == u'\r' || c == u'\n'; });
  const auto lineEnd = static_cast<int>(lineBreak - input.cbegin());
  input.remove(lineEnd, static_cast<int>(entered - lineBreak));
  position = std::min(position, lineEnd);

  // Every character that the edit cannot hold is left out.
  QString kept;
  int keptPosition = 0;
  size_t bytes = 0;
  std::vector<std::pair<int, size_t>> beforeCursor;  // length, bytes
  for (qsizetype i = 0; i < input.size();) {
    const qsizetype length =
        input[i].isHighSurrogate() && i + 1 < input.size() && input[i + 1].isLowSurrogate() ? 2 : 1;
    const QStringView character = QStringView(input).sliced(i, length);
    if (const auto count = Bytes(character)) {
      kept += character;
      bytes += *count;
      if (i < position) {
        keptPosition += static_cast<int>(length);
        beforeCursor.emplace_back(static_cast<int>(length), *count);
      }
    }
    i += length;
  }
  // Too long: the end of what came in goes, by whole characters, until the rest fits.
  while (bytes > static_cast<size_t>(limitBytes_) && !beforeCursor.empty()) {
    const auto [length, count] = beforeCursor.back();
    beforeCursor.pop_back();
    keptPosition -= length;
    kept.remove(keptPosition, length);
    bytes -= count;
  }
  if (bytes > static_cast<size_t>(limitBytes_)) return Invalid;
  input = kept;
  position = keptPosition;
  return Acceptable;
}

}  // namespace pelorin::ui
