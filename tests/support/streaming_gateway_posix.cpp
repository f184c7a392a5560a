#include "streaming_gateway.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pelorin::test {

namespace {

// The gateway whose connection has not come yet (one at a time), the SIGIO
// action it stands in for and the listener's flags before it.
std::atomic<StreamingGateway*> waiting{nullptr};
struct sigaction replacedAction {};
int listenerFlags = 0;

constexpr int kSendBuffer = 4 << 20;

// Queues as much of bytes as the socket takes without waiting; the count.
size_t QueueWhatFits(int fd, const std::vector<uint8_t>& bytes) {
  size_t queued = 0;
  while (queued < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + queued, bytes.size() - queued,
                           MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n <= 0) break;
    queued += static_cast<size_t>(n);
  }
  return queued;
}

}  // namespace

// The loopback handshake completes within the client's connect(), and the
// listener's SIGIO reaches the connecting thread as that call returns, before
// the client can read: only async-signal-safe calls here.
void StreamingGateway::TakeConnection(int) {
  const int savedErrno = errno;
  StreamingGateway* gateway = waiting.load();
  const int fd = gateway == nullptr ? -1
                                    : accept4(static_cast<int>(gateway->server_.listener()),
                                              nullptr, nullptr, SOCK_CLOEXEC);
  if (fd >= 0) {
    waiting = nullptr;
    size_t queued = QueueWhatFits(fd, gateway->first_);
    if (queued == gateway->first_.size()) {
      for (size_t part = 0; (part = QueueWhatFits(fd, gateway->repeated_)) != 0;) {
        queued += part;
        if (part < gateway->repeated_.size()) break;
      }
    }
    gateway->queued_ = queued;
    gateway->taken_ = fd;
  }
  errno = savedErrno;
}

StreamingGateway::StreamingGateway(LoopbackServer& server, std::vector<uint8_t> first,
                                   std::vector<uint8_t> repeated)
    : server_(server), first_(std::move(first)), repeated_(std::move(repeated)) {
  const int listener = static_cast<int>(server_.listener());
  // An accepted socket keeps the listener's send buffer.
  setsockopt(listener, SOL_SOCKET, SO_SNDBUF, &kSendBuffer, sizeof kSendBuffer);
  struct sigaction action {};
  action.sa_handler = &TakeConnection;
  sigaction(SIGIO, &action, &replacedAction);
  waiting = this;
  const f_owner_ex owner{F_OWNER_TID, gettid()};
  fcntl(listener, F_SETOWN_EX, &owner);
  listenerFlags = fcntl(listener, F_GETFL);
  fcntl(listener, F_SETFL, listenerFlags | O_ASYNC | O_NONBLOCK);
  thread_ = std::thread([this] {
    Socket socket = -1;
    while ((socket = taken_.load()) < 0 && !stop_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (socket >= 0) Stream(socket, queued_);
  });
}

StreamingGateway::~StreamingGateway() {
  // A SIGIO already on its way is handled here, before the action goes back.
  fcntl(static_cast<int>(server_.listener()), F_SETFL, listenerFlags);
  waiting = nullptr;
  sigaction(SIGIO, &replacedAction, nullptr);
  stop_ = true;
  thread_.join();
}

}  // namespace pelorin::test
