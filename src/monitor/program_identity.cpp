#include "program_identity.h"

namespace pelorin::monitor {

std::string ApplicationName(std::string_view programPath) {
  const size_t slash = programPath.find_last_of("/\\");
  std::string_view name = slash == std::string_view::npos ? programPath : programPath.substr(slash + 1);
  // The name up to its last dot; a name that starts with its only dot is all name.
  const size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot != 0) name = name.substr(0, dot);
  return std::string(name);
}

std::string FormatVersionText(unsigned first, unsigned second, unsigned third, unsigned fourth) {
  std::string text = "Version " + std::to_string(first) + "." + std::to_string(second) +
                     std::to_string(third);
  if (fourth != 0) text += std::to_string(fourth);
  return text;
}

}  // namespace pelorin::monitor
