#pragma once

#include "row_face.h"

#include <QColor>
#include <QFrame>

#include <functional>
#include <optional>

namespace pelorin::ui {

// A row's indicator: a square with a sunken edge whose fill is decided each
// time it is painted; without a fill it shows the window's ordinary background.
// Assistive tools hear it as an image named by its fill in words, asked for
// when they want it.
class RowIndicator : public QFrame, public RowFace {
 public:
  using FillSource = std::function<std::optional<QColor>()>;
  using StateSource = std::function<QString()>;

  RowIndicator(FillSource fill, StateSource state, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
  QString SpokenText() const override { return state_(); }

 private:
  FillSource fill_;
  StateSource state_;
};

}  // namespace pelorin::ui
