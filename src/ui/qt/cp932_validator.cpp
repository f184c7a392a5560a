#include "cp932_validator.h"

#include <algorithm>

namespace pelorin::ui {

Cp932Validator::Cp932Validator(monitor::EditLimits limits, QObject* parent)
    : QValidator(parent), limits_(limits) {}

QValidator::State Cp932Validator::validate(QString& input, int& position) const {
  const int cursor = std::clamp(position, 0, static_cast<int>(input.size()));
  const monitor::EditText changed{input.toStdString(),
                                  static_cast<size_t>(input.left(cursor).toUtf8().size())};
  const auto kept = monitor::ApplyEditInputRule(changed, limits_, encoder_);
  if (!kept) return Invalid;
  input = QString::fromStdString(kept->text);
  position = static_cast<int>(QString::fromUtf8(kept->text.data(), static_cast<qsizetype>(kept->cursor)).size());
  return Acceptable;
}

}  // namespace pelorin::ui
