#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pelorin::test {

// pelorin-gateway-sim running as a child process for the length of a test.
class SimProcess {
 public:
  explicit SimProcess(const std::vector<std::string>& arguments);
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // The last word of the simulator's first line: its TCP port or pty path.
  const std::string& endpoint() const { return endpoint_; }

 private:
  // The child: a process id, or on Windows the process's handle.
  intptr_t process_ = -1;
  // Windows: the job that ends the child when this process ends.
  intptr_t job_ = -1;
  std::string endpoint_;
};

}  // namespace pelorin::test
