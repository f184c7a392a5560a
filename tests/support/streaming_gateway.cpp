#include "streaming_gateway.h"

#include <stdexcept>

namespace pelorin::test {

void StreamingGateway::Stream(Socket socket, size_t from) {
  const auto rest = [](const std::vector<uint8_t>& bytes, size_t skipped) {
    return std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(skipped), bytes.end());
  };
  try {
    if (from < first_.size()) {
      SendBytes(socket, rest(first_, from));
      from = first_.size();
    }
    SendBytes(socket, rest(repeated_, (from - first_.size()) % repeated_.size()));
    while (!stop_) SendBytes(socket, repeated_);
  } catch (const std::runtime_error&) {
    // The client has gone.
  }
  CloseSocket(socket);
}

}  // namespace pelorin::test
