#include "streaming_gateway.h"

#include <winsock2.h>

namespace pelorin::test {

StreamingGateway::StreamingGateway(LoopbackServer& server, std::vector<uint8_t> first,
                                   std::vector<uint8_t> repeated)
    : server_(server), first_(std::move(first)), repeated_(std::move(repeated)) {
  // An accepted socket keeps the listener's send buffer.
  const int sendBuffer = 4 << 20;
  setsockopt(static_cast<SOCKET>(server_.listener()), SOL_SOCKET, SO_SNDBUF,
             reinterpret_cast<const char*>(&sendBuffer), sizeof sendBuffer);
  thread_ = std::thread([this] {
    const Socket socket = server_.Accept();
    if (socket >= 0) Stream(socket, 0);
  });
}

StreamingGateway::~StreamingGateway() {
  stop_ = true;
  thread_.join();
}

}  // namespace pelorin::test
