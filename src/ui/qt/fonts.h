#pragma once

#include <QFont>

namespace pelorin::ui {

// "MS UI Gothic" 9 pt, else an installed Japanese Gothic font.
QFont DialogFont();
// "ＭＳ ゴシック" 18 pt for the row values, else an installed Japanese Gothic font.
QFont ValueLabelFont();

}  // namespace pelorin::ui
