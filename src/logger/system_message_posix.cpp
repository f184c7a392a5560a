#include "system_message.h"

#include <netdb.h>

#include <system_error>

namespace pelorin::logger {

// The link gives the resolver's own codes as they are, and glibc's are
// negative, apart from every errno.
std::string SystemMessage(int32_t code) {
  if (code < 0) return gai_strerror(code);
  return std::system_category().message(code);
}

}  // namespace pelorin::logger
