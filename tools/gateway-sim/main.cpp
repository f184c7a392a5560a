// pelorin-gateway-sim: a simulated gateway of the sensor network, reached over
// TCP or a pseudo terminal, for demonstrations and tests of Pelorin.

#include "frame_builder.h"
#include "gateway_session.h"
#include "pty_server.h"
#include "sim_options.h"
#include "tcp_listener.h"

#include <cstdio>
#include <string>

using namespace pelorin::sim;

namespace {

int ServeTcp(const Options& options) {
  const bool late = options.fault == Fault::LateAccept;
  std::string error;
  const auto listener = TcpListener::Open(options.host, options.port, late ? 0 : 4, &error);
  if (!listener) {
    std::fprintf(stderr, "pelorin-gateway-sim: %s\n", error.c_str());
    return 1;
  }
  std::printf("listening on %s:%d\n", options.host.c_str(), listener->Port());
  std::fflush(stdout);

  ReportGenerator reports(options.seed);
  for (;;) {
    if (late) listener->HoldQueueFull(options.lateMs);
    const auto client = listener->Accept(&error);
    if (!client) {
      std::fprintf(stderr, "pelorin-gateway-sim: %s\n", error.c_str());
      return 1;
    }
    GatewaySession session(options, reports);
    const GatewaySession::End end = session.Run(*client);
    std::printf("session ended: %s\n", end == GatewaySession::End::Reset    ? "reset"
                                         : end == GatewaySession::End::Closed ? "closed"
                                                                              : "peer gone");
    std::fflush(stdout);
    if (options.exitAfterSession) return 0;
  }
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
  if (!StartNetworking()) {
    std::fputs("pelorin-gateway-sim: the network cannot be used\n", stderr);
    return 1;
  }
  return options->usePty ? ServePty(*options) : ServeTcp(*options);
}
