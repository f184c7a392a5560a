#include "program_file.h"

#include <QFileInfo>

#include <climits>
#include <unistd.h>

namespace pelorin::ui {

QString ProgramFilePath() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return QString();
  return QString::fromLocal8Bit(path, static_cast<qsizetype>(length));
}

QString ApplicationName(const QString& programPath) {
  return QFileInfo(programPath).completeBaseName();
}

QString FormatVersionText(unsigned first, unsigned second, unsigned third, unsigned fourth) {
  if (fourth != 0) {
    return QStringLiteral("Version %1.%2%3%4").arg(first).arg(second).arg(third).arg(fourth);
  }
  return QStringLiteral("Version %1.%2%3").arg(first).arg(second).arg(third);
}

QString ProgramVersionText() {
  return FormatVersionText(PELORIN_VERSION_MAJOR, PELORIN_VERSION_MINOR, PELORIN_VERSION_PATCH,
                           PELORIN_VERSION_TWEAK);
}

}  // namespace pelorin::ui
