#include "pty.h"

#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace pelorin::test {

Pty::Pty() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) < 0 || unlockpt(master_) < 0) {
    throw std::runtime_error("posix_openpt");
  }
  slavePath_ = ptsname(master_);
}

Pty::~Pty() { CloseMaster(); }

void Pty::CloseMaster() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

}  // namespace pelorin::test
