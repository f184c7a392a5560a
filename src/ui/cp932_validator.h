#pragma once

#include "cp932_encoder.h"

#include <QValidator>

namespace pelorin::ui {

// An edit's input rule: at most `limitBytes` bytes of code page 932 (a
// double-byte character counts twice), only characters that code page 932
// can hold, and with digitsOnly nothing but 0-9.
class Cp932Validator : public QValidator {
 public:
  Cp932Validator(int limitBytes, bool digitsOnly, QObject* parent);
  State validate(QString& input, int& position) const override;

 private:
  int limitBytes_;
  bool digitsOnly_;
  mutable Cp932Encoder encoder_;
};

}  // namespace pelorin::ui
