#include "row_indicator.h"

#include <QPainter>

namespace pelorin::ui {

RowIndicator::RowIndicator(FillSource fill, StateSource state, QWidget* parent)
    : QFrame(parent), RowFace(*this, QAccessible::Graphic), fill_(std::move(fill)), state_(std::move(state)) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
}

void RowIndicator::paintEvent(QPaintEvent* event) {
  if (!Shown()) return;
  if (const std::optional<QColor> color = fill_()) {
    QPainter painter(this);
    painter.fillRect(contentsRect(), *color);
  }
  QFrame::paintEvent(event);
}

}  // namespace pelorin::ui
