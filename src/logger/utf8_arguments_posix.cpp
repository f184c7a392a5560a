#include "utf8_arguments.h"

namespace pelorin::logger {

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return {argv, argv + argc}; }

}  // namespace pelorin::logger
