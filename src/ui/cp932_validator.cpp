#include "cp932_validator.h"

namespace pelorin::ui {

Cp932Validator::Cp932Validator(int limitBytes, bool digitsOnly, QObject* parent)
    : QValidator(parent), limitBytes_(limitBytes), digitsOnly_(digitsOnly) {}

QValidator::State Cp932Validator::validate(QString& input, int&) const {
  if (digitsOnly_) {
    for (const QChar c : input) {
      if (c < QLatin1Char('0') || c > QLatin1Char('9')) return Invalid;
    }
  }
  const QByteArray utf8 = input.toUtf8();
  const auto bytes = encoder_.EncodedLength(std::string_view(utf8.constData(), utf8.size()));
  if (!bytes || *bytes > static_cast<size_t>(limitBytes_)) return Invalid;
  return Acceptable;
}

}  // namespace pelorin::ui
