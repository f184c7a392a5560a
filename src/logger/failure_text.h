#pragma once

#include "pause_text.h"

#include <cstdint>
#include <string>

namespace pelorin::logger {

// "error CODE: what it means", for the event lines.
std::string DescribeFailure(int32_t code);

// The same for a failure of the log file, whose codes are errno on every
// system: a file system that did not answer and a file locked by another
// program are told in those words.
std::string DescribeLogFailure(int32_t code);

using protocol::Seconds;

}  // namespace pelorin::logger
