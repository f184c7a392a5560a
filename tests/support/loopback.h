#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pelorin::test {

// A TCP listener on 127.0.0.1 with a free port.
class LoopbackServer {
 public:
  explicit LoopbackServer(int backlog = 8);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  std::string port() const { return std::to_string(port_); }
  int listenerFd() const { return listener_; }
  // The next connection, or -1 when none comes within timeoutMs.
  int Accept(int timeoutMs = 5000);
  void CloseListener();

 private:
  int listener_ = -1;
  int port_ = 0;
};

// Opens a client connection to the server without accepting it.
int ConnectTo(const LoopbackServer& server);
void SendBytes(int fd, const std::vector<uint8_t>& bytes);
// Reads exactly count bytes, or whatever arrived when timeoutMs runs out.
std::vector<uint8_t> ReceiveBytes(int fd, size_t count, int timeoutMs = 5000);
// Closes with SO_LINGER 0, so that the peer gets a reset.
void ResetAndClose(int fd);
// Descriptors and threads of this process, for leak checks.
int OpenDescriptorCount();
int ThreadCount();
// Only sockets and terminals: what the link opens, not what a toolkit caches.
int LinkDescriptorCount();
// Only the program's own threads, which carry names starting "pelorin-".
int PelorinThreadCount();
// How often the threads of this name have been switched to so far (voluntary
// and involuntary context switches): a waiting thread's wake-ups.
long long ThreadWakeups(const std::string& name);

// A host name that the resolver refuses without asking any server: a label of
// more than 63 characters cannot be put in a query.
inline const std::string kUnresolvableHost = std::string(64, 'g') + ".invalid";

}  // namespace pelorin::test
