#pragma once

#include "row_face.h"

#include <QLabel>

namespace pelorin::ui {

// A row's value: a label on top of the row's indicator, blank while the
// indicator is the face shown.
class RowValueLabel : public QLabel, public RowFace {
 public:
  explicit RowValueLabel(QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace pelorin::ui
