#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace pelorin::test {

struct CommandResult {
  int exitCode = -1;   // -1 when it did not end by itself within the bound
  std::string output;  // standard output and standard error together
};

// Runs a program (arguments[0], a full path) and waits for it at most bound;
// one that is still running then is killed. Never throws.
CommandResult RunCommand(const std::vector<std::string>& arguments,
                         std::chrono::milliseconds bound = std::chrono::seconds(60));

}  // namespace pelorin::test
