#include "system_message.h"

#include <system_error>

namespace pelorin::logger {

std::string SystemMessage(int32_t code) { return std::system_category().message(code); }

}  // namespace pelorin::logger
