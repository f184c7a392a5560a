#include "posix_socket.h"

#include "descriptor_wait.h"

#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace pelorin {

int32_t OpenTcpSocket(int* fd) {
  *fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (*fd < 0) return LastErrno();
  const timeval oneSecond{1, 0};
  setsockopt(*fd, SOL_SOCKET, SO_RCVTIMEO, &oneSecond, sizeof oneSecond);
  setsockopt(*fd, SOL_SOCKET, SO_SNDTIMEO, &oneSecond, sizeof oneSecond);
  // Urgent bytes become ordinary stream bytes: kept out of band, they would
  // leave the socket readable with no byte counted as waiting.
  const int on = 1;
  setsockopt(*fd, SOL_SOCKET, SO_OOBINLINE, &on, sizeof on);
  return 0;
}

int32_t ResolveIPv4(const char* host, const char* service, sockaddr_in* address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  const int status = getaddrinfo(host, service, &hints, &result);
  if (status != 0) return status == EAI_SYSTEM ? LastErrno() : status;
  if (result == nullptr) return EAI_NONAME;
  *address = *reinterpret_cast<const sockaddr_in*>(result->ai_addr);
  freeaddrinfo(result);
  return 0;
}

int32_t StartConnect(int fd, const sockaddr_in& address) {
  const int flags = fcntl(fd, F_GETFL);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return 0;
  return errno == EINPROGRESS ? 0 : LastErrno();
}

ConnectCheck CheckConnect(int fd, int timeoutMs) {
  pollfd p{fd, POLLOUT, 0};
  const int n = poll(&p, 1, timeoutMs);
  if (n == 0) return {ConnectCheck::TimedOut, 0};
  if (n < 0) return {ConnectCheck::Failed, LastErrno()};
  int pending = 0;
  socklen_t size = sizeof pending;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &size) < 0) {
    return {ConnectCheck::Failed, LastErrno()};
  }
  if (pending != 0) return {ConnectCheck::Failed, pending};
  if (!(p.revents & POLLOUT)) return {ConnectCheck::NotWritable, 0};
  return {ConnectCheck::Writable, 0};
}

int32_t SetBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) return LastErrno();
  return 0;
}

int32_t SendAll(int fd, const uint8_t* bytes, size_t length) {
  size_t sent = 0;
  while (sent < length) {
    const ssize_t n = send(fd, bytes + sent, length - sent, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastErrno();
    }
    sent += static_cast<size_t>(n);
  }
  return 0;
}

long ReceiveWaiting(int fd, uint8_t* buffer, size_t capacity) {
  const ssize_t n = recv(fd, buffer, capacity, MSG_DONTWAIT);
  return n < 0 ? -LastErrno() : n;
}

bool PeerHasClosed(int fd) {
  uint8_t byte = 0;
  const ssize_t n = recv(fd, &byte, 1, MSG_DONTWAIT | MSG_PEEK);
  return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

bool IsConnectionReset(int32_t error) { return error == ECONNRESET || error == EPIPE; }

}  // namespace pelorin
