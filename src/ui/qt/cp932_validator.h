#pragma once

#include "cp932_encoder.h"
#include "edit_input_rule.h"

#include <QValidator>

namespace pelorin::ui {

// The input rule of the window's single-line edits on a QLineEdit: whatever
// enters it (typed, pasted, dropped or from an input method) goes through the
// monitor's edit rule, which counts code page 932 bytes.
class Cp932Validator : public QValidator {
 public:
  Cp932Validator(monitor::EditLimits limits, QObject* parent);
  State validate(QString& input, int& position) const override;

 private:
  monitor::EditLimits limits_;
  mutable Cp932Encoder encoder_;
};

}  // namespace pelorin::ui
