#include "row_value_label.h"

namespace pelorin::ui {

RowValueLabel::RowValueLabel(QWidget* parent) : QLabel(parent), RowFace(*this, QAccessible::StaticText) {
  setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void RowValueLabel::paintEvent(QPaintEvent* event) {
  if (Shown()) QLabel::paintEvent(event);
}

}  // namespace pelorin::ui
