#pragma once

#include <string>
#include <vector>

namespace pelorin::logger {

// The program's arguments in UTF-8, as every option's text is read. Windows
// hands main() its arguments in the ANSI code page, which would turn a row
// name or a path into other bytes; the command line's own UTF-16 is taken there.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

}  // namespace pelorin::logger
