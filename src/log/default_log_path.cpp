#include "default_log_path.h"

namespace pelorin {

std::string DefaultLogPath(std::string_view programPath) {
  // Either separator ends a folder: Windows paths use both.
  const size_t separator = programPath.find_last_of("/\\");
  const size_t nameStart = separator == std::string_view::npos ? 0 : separator + 1;
  const size_t dot = programPath.rfind('.');
  const bool hasExtension = dot != std::string_view::npos && dot >= nameStart;
  return std::string(programPath.substr(0, hasExtension ? dot : programPath.size())) + ".csv";
}

}  // namespace pelorin
