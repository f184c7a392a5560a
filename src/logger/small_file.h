#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pelorin::logger {

// Reads the file at path (UTF-8; Windows opens it by its UTF-16 name) into
// contents, at most limit + 1 bytes, so that a file beyond the limit is seen
// without being read whole. 0 or the system's error code.
int32_t ReadSmallFile(const std::string& path, size_t limit, std::string* contents);

}  // namespace pelorin::logger
