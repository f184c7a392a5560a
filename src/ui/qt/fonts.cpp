#include "fonts.h"

#include <QStringList>

namespace pelorin::ui {

QFont DialogFont() {
  QFont font;
  font.setFamilies({QStringLiteral("MS UI Gothic"), QStringLiteral("IPAPGothic"),
                    QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP"),
                    QStringLiteral("VL PGothic"), QStringLiteral("VL Gothic")});
  font.setPointSize(9);
  return font;
}

QFont ValueLabelFont() {
  QFont font;
  font.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"),
                    QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP"),
                    QStringLiteral("VL Gothic")});
  font.setPointSize(18);
  return font;
}

}  // namespace pelorin::ui
