#include "loopback.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace pelorin::test {

namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

int Fd(Socket socket) { return static_cast<int>(socket); }

}  // namespace

const int32_t kConnectionRefused = ECONNREFUSED;

// getaddrinfo's own codes (EAI_*) are negative.
bool IsResolverError(int32_t code) { return code < 0; }

LoopbackServer::LoopbackServer(int backlog) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  if (listener_ < 0 ||
      bind(Fd(listener_), reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 ||
      listen(Fd(listener_), backlog) < 0) {
    throw std::runtime_error("loopback listener");
  }
  socklen_t size = sizeof address;
  getsockname(Fd(listener_), reinterpret_cast<sockaddr*>(&address), &size);
  port_ = ntohs(address.sin_port);
}

LoopbackServer::~LoopbackServer() { CloseListener(); }

Socket LoopbackServer::Accept(int timeoutMs) {
  pollfd p{Fd(listener_), POLLIN, 0};
  if (poll(&p, 1, timeoutMs) != 1) return -1;
  return accept4(Fd(listener_), nullptr, nullptr, SOCK_CLOEXEC);
}

void LoopbackServer::CloseListener() {
  if (listener_ >= 0) close(Fd(listener_));
  listener_ = -1;
}

Socket ConnectTo(const LoopbackServer& server) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = Loopback(std::stoi(server.port()));
  connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  return fd;
}

void SendBytes(Socket socket, const std::vector<uint8_t>& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    // A socket's peer gone away is an error here, never a SIGPIPE; a pty
    // master is written to.
    const void* data = bytes.data() + sent;
    ssize_t n = send(Fd(socket), data, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == ENOTSOCK) n = write(Fd(socket), data, bytes.size() - sent);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error("test peer write failed");
    sent += static_cast<size_t>(n);
  }
}

std::vector<uint8_t> ReceiveBytes(Socket socket, size_t count, int timeoutMs) {
  std::vector<uint8_t> bytes;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (bytes.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now()).count();
    pollfd p{Fd(socket), POLLIN, 0};
    if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
    uint8_t buffer[4096];
    const ssize_t n = read(Fd(socket), buffer, std::min(sizeof buffer, count - bytes.size()));
    if (n <= 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return bytes;
}

void CloseSocket(Socket socket) { close(Fd(socket)); }

void SendUrgentByte(Socket socket) { send(Fd(socket), "u", 1, MSG_OOB | MSG_NOSIGNAL); }

void ResetAndClose(Socket socket) {
  const linger reset{1, 0};
  setsockopt(Fd(socket), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  close(Fd(socket));
}

}  // namespace pelorin::test
