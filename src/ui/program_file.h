#pragma once

#include <QString>

namespace pelorin::ui {

// The running program file's full path (/proc/self/exe).
QString ProgramFilePath();

// The application's name, the caption of its message boxes: the program
// file's name without its extension.
QString ApplicationName(const QString& programPath);

// "Version 1.01" for 1.0.1.0: the first two parts separated by a point, the
// third and (when not 0) the fourth run on without one.
QString FormatVersionText(unsigned first, unsigned second, unsigned third, unsigned fourth);

// The text for the version compiled into the program.
QString ProgramVersionText();

}  // namespace pelorin::ui
