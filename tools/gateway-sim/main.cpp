// pelorin-gateway-sim: a simulated gateway of the sensor network, reached over
// TCP or a pseudo terminal, for demonstrations and tests of Pelorin.

#include "frame_builder.h"
#include "gateway_session.h"
#include "sim_options.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace pelorin::sim;

namespace {

int Fatal(const char* what) {
  std::fprintf(stderr, "pelorin-gateway-sim: %s: %s\n", what, std::strerror(errno));
  return 1;
}

void MakeNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

// A listener whose accept queue is held full by a connection of our own, so
// that a client's connect stays unanswered until the filler is taken away.
int ConnectFiller(const sockaddr_in& address) {
  const int filler = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  connect(filler, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  return filler;
}

int ServeTcp(const Options& options) {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0) return Fatal("socket");
  const int on = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(options.port));
  if (inet_pton(AF_INET, options.host.c_str(), &address.sin_addr) != 1) {
    std::fprintf(stderr, "pelorin-gateway-sim: not an IPv4 address: %s\n",
                 options.host.c_str());
    return 2;
  }
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0) {
    return Fatal("bind");
  }
  const bool late = options.fault == Fault::LateAccept;
  if (listen(listener, late ? 0 : 4) < 0) return Fatal("listen");
  socklen_t size = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
  std::printf("listening on %s:%d\n", options.host.c_str(), ntohs(address.sin_port));
  std::fflush(stdout);

  ReportGenerator reports(options.seed);
  for (;;) {
    int filler = late ? ConnectFiller(address) : -1;
    if (late) {
      // Hold the queue full for the delay, then take our own connection off it.
      std::this_thread::sleep_for(std::chrono::milliseconds(options.lateMs));
      close(accept(listener, nullptr, nullptr));
      close(filler);
    }
    const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
      if (errno == EINTR) continue;
      return Fatal("accept");
    }
    MakeNonBlocking(client);
    GatewaySession session(options, reports);
    const GatewaySession::End end = session.Run(client, true);
    close(client);
    std::printf("session ended: %s\n", end == GatewaySession::End::Reset ? "reset" : "peer gone");
    std::fflush(stdout);
    if (options.exitAfterSession) return 0;
  }
}

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

  MakeNonBlocking(master);
  ReportGenerator reports(options.seed);
  GatewaySession session(options, reports);
  session.Run(master, false);
  close(slave);
  close(master);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const auto options = ParseOptions(argc, argv, &error);
  if (!options) {
    std::fprintf(stderr, "pelorin-gateway-sim: %s\n%s", error.c_str(), UsageText());
    return 2;
  }
  if (options->help) {
    std::fputs(UsageText(), stdout);
    return 0;
  }
  std::signal(SIGPIPE, SIG_IGN);
  return options->usePty ? ServePty(*options) : ServeTcp(*options);
}
