#include "dialog_units.h"

#include <QFontMetrics>

namespace pelorin::ui {

DialogUnits::DialogUnits(const QFont& dialogFont) {
  const QFontMetrics metrics(dialogFont);
  // The average width of the 52 Latin letters, rounded as the dialog manager does.
  const int letters =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  baseX_ = (letters / 26 + 1) / 2;
  baseY_ = metrics.height();
}

}  // namespace pelorin::ui
