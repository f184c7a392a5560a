#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pelorin::test {

// The test's end of a loopback connection: a file descriptor on Linux, a
// Winsock SOCKET on Windows; -1 for none.
using Socket = std::intptr_t;

// A TCP listener on 127.0.0.1 with a free port.
class LoopbackServer {
 public:
  explicit LoopbackServer(int backlog = 8);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  std::string port() const { return std::to_string(port_); }
  Socket listener() const { return listener_; }
  // The next connection, or -1 when none comes within timeoutMs.
  Socket Accept(int timeoutMs = 5000);
  void CloseListener();

 private:
  Socket listener_ = -1;
  int port_ = 0;
};

// Opens a client connection to the server without accepting it.
Socket ConnectTo(const LoopbackServer& server);
// All of the bytes, or an exception; on Linux also to a pty master.
void SendBytes(Socket socket, const std::vector<uint8_t>& bytes);
// Reads exactly count bytes, or whatever arrived when timeoutMs runs out.
std::vector<uint8_t> ReceiveBytes(Socket socket, size_t count, int timeoutMs = 5000);
void CloseSocket(Socket socket);
// One byte of urgent (out-of-band) data.
void SendUrgentByte(Socket socket);
// Closes with SO_LINGER 0, so that the peer gets a reset.
void ResetAndClose(Socket socket);

// The platform's number for a connection that nobody listens for.
extern const int32_t kConnectionRefused;
// True for the codes the resolver gives for a name it cannot resolve.
bool IsResolverError(int32_t code);

// A host name that the resolver refuses without asking any server: a label of
// more than 63 characters cannot be put in a query, with or without a search
// domain appended.
inline const std::string kUnresolvableHost = std::string(64, 'g');

}  // namespace pelorin::test
