#pragma once

#include <QFont>
#include <QRect>

namespace pelorin::ui {

// Converts dialog units to pixels the way the dialog manager does: a
// horizontal unit is a quarter of the dialog font's average character width,
// a vertical unit an eighth of its height.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& dialogFont);

  int ToX(int units) const { return Scale(units, baseX_, 4); }
  int ToY(int units) const { return Scale(units, baseY_, 8); }
  QRect ToPixels(int x, int y, int width, int height) const {
    return QRect(ToX(x), ToY(y), ToX(width), ToY(height));
  }
  int baseX() const { return baseX_; }
  int baseY() const { return baseY_; }

 private:
  // MulDiv: rounded to the nearest.
  static int Scale(int units, int base, int divisor) {
    return (units * base + divisor / 2) / divisor;
  }

  int baseX_;
  int baseY_;
};

}  // namespace pelorin::ui
