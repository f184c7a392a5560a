#include "default_log_path.h"

namespace pelorin {

std::string DefaultLogPath(std::string_view programPath) {
  const size_t nameStart = programPath.rfind('/') == std::string_view::npos
                               ? 0
                               : programPath.rfind('/') + 1;
  const size_t dot = programPath.rfind('.');
  const bool hasExtension = dot != std::string_view::npos && dot >= nameStart;
  return std::string(programPath.substr(0, hasExtension ? dot : programPath.size())) + ".csv";
}

}  // namespace pelorin
