#include "pty_server.h"

#include <cstdio>

namespace pelorin::sim {

int ServePty(const Options&) {
  std::fputs("pelorin-gateway-sim: Windows has no pseudo terminals; use --tcp\n", stderr);
  return 2;
}

}  // namespace pelorin::sim
