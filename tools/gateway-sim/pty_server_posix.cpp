#include "pty_server.h"

#include "fd_channel.h"
#include "gateway_session.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace pelorin::sim {

namespace {

int Fatal(const char* what) {
  std::fprintf(stderr, "pelorin-gateway-sim: %s: %s\n", what, std::strerror(errno));
  return 1;
}

}  // namespace

int ServePty(const Options& options) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) < 0 || unlockpt(master) < 0) return Fatal("posix_openpt");
  const char* path = ptsname(master);
  if (path == nullptr) return Fatal("ptsname");
  // Keep a raw slave open, so that the line discipline never edits or echoes
  // bytes and the master stays usable while the monitor closes and reopens.
  const int slave = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) return Fatal("open pty slave");
  termios settings{};
  tcgetattr(slave, &settings);
  cfmakeraw(&settings);
  tcsetattr(slave, TCSANOW, &settings);
  std::printf("pty %s\n", path);
  std::fflush(stdout);

  FdChannel channel(master, false);
  ReportGenerator reports(options.seed);
  GatewaySession session(options, reports);
  session.Run(channel);
  close(slave);
  return 0;
}

}  // namespace pelorin::sim
