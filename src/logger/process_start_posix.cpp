#include "process_start.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace pelorin::logger {

// Each of descriptors 0-2 that is closed is opened on /dev/null: open takes
// the lowest free number. An event line that cannot be written is dropped.
void PrepareProcess() {
  for (int stream = 0; stream <= 2; ++stream) {
    if (fcntl(stream, F_GETFD) >= 0 || errno != EBADF) continue;
    if (open("/dev/null", O_RDWR) < 0) break;
  }
  signal(SIGPIPE, SIG_IGN);
}

}  // namespace pelorin::logger
