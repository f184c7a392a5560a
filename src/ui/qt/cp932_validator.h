#pragma once

#include "cp932_encoder.h"

#include <QValidator>

#include <optional>

namespace pelorin::ui {

// The input rule of the window's single-line edits. Whatever enters an edit
// (a typed character, a paste, a drop, an input method's text) is taken as a
// native single-line edit takes it: up to its first line break, and without
// control characters. Only characters that code page 932 can hold go in, and
// with digitsOnly nothing but 0-9. The text holds at most `limitBytes` bytes of
// code page 932 (a double-byte character counts twice): what would pass that
// is cut to what fits, by whole characters.
//
// The text before a change already met this rule, so whatever breaks it came
// in with the change, which ends at the cursor.
class Cp932Validator : public QValidator {
 public:
  Cp932Validator(int limitBytes, bool digitsOnly, QObject* parent);
  State validate(QString& input, int& position) const override;

 private:
  // The character's count of code page 932 bytes, or nothing when the edit
  // cannot hold it.
  std::optional<size_t> Bytes(QStringView character) const;

  int limitBytes_;
  bool digitsOnly_;
  mutable Cp932Encoder encoder_;
};

}  // namespace pelorin::ui
