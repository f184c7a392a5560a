#pragma once

#include <string>
#include <string_view>

namespace pelorin::monitor {

// The application's name, the caption of its message boxes: the program
// file's name without its extension.
std::string ApplicationName(std::string_view programPath);

// "Version 1.01" for 1.0.1.0: the first two parts separated by a point, the
// third and (when not 0) the fourth run on without one.
std::string FormatVersionText(unsigned first, unsigned second, unsigned third, unsigned fourth);

// The text for the running program's version: from the program file's
// version information where it carries one, else the version it was built with.
std::string ProgramVersionText();

// The running program file's full path; empty when the system does not say.
std::string ProgramFilePath();

}  // namespace pelorin::monitor
