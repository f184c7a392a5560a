#pragma once

#include "loopback.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

namespace pelorin::test {

// A gateway that never pauses: it takes the server's next connection, sends
// `first` and then `repeated` (not empty) again and again, until it is
// destroyed or the client goes. Its send queue is as large as the system lets
// it be (8 MB on Linux with wmem_max at 4 MB), and the kernel hands what the
// queue holds to the client as the client reads, whether or not the
// gateway's thread gets to run. Make it on the thread that will connect.
//
// On Linux that thread itself takes the connection, and fills the queue,
// inside the connect() that makes it (the listener's SIGIO): the client finds
// input at its first look. Elsewhere a thread takes it when it gets to run,
// and the client may look first.
class StreamingGateway {
 public:
  StreamingGateway(LoopbackServer& server, std::vector<uint8_t> first,
                   std::vector<uint8_t> repeated);
  ~StreamingGateway();
  StreamingGateway(const StreamingGateway&) = delete;
  StreamingGateway& operator=(const StreamingGateway&) = delete;

 private:
  // Sends the stream from its byte `from` on.
  void Stream(Socket socket, size_t from);
  // Linux: the SIGIO handler that takes the connection.
  static void TakeConnection(int signal);

  LoopbackServer& server_;
  const std::vector<uint8_t> first_;
  const std::vector<uint8_t> repeated_;
  std::atomic<bool> stop_{false};
  // Linux: the connection TakeConnection took, and how much it queued.
  std::atomic<Socket> taken_{-1};
  size_t queued_ = 0;
  std::thread thread_;
};

}  // namespace pelorin::test
