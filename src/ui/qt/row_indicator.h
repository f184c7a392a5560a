#pragma once

#include "row_face.h"

#include <QColor>
#include <QFrame>

#include <functional>
#include <optional>

namespace pelorin::ui {

// A row's indicator: a square with a sunken edge whose fill is decided each
// time it is painted; without a fill it shows the window's ordinary background.
class RowIndicator : public QFrame, public RowFace {
 public:
  using FillSource = std::function<std::optional<QColor>()>;

  RowIndicator(FillSource fill, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  FillSource fill_;
};

}  // namespace pelorin::ui
