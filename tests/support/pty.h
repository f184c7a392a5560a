#pragma once

#include <string>

namespace pelorin::test {

// A pseudo terminal: the test holds the master, the code under test opens the
// slave by its path like any serial device.
class Pty {
 public:
  Pty();
  ~Pty();
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  int master() const { return master_; }
  const std::string& slavePath() const { return slavePath_; }
  // Closes the master: to the slave side this is a pulled cable.
  void CloseMaster();

 private:
  int master_ = -1;
  std::string slavePath_;
};

}  // namespace pelorin::test
