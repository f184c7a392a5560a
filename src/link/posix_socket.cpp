#include "socket_io.h"

#include "link_error.h"
#include "link_timing.h"
#include "posix_descriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace pelorin {

// Nothing to start: the process ignores SIGPIPE and every send says
// MSG_NOSIGNAL.
void StartSocketLibrary() {}
void EndSocketLibrary() {}

int32_t OpenTcpSocket(SocketHandle* fd) {
  *fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (*fd < 0) return LastErrno();
  const timeval oneSecond{1, 0};
  setsockopt(*fd, SOL_SOCKET, SO_RCVTIMEO, &oneSecond, sizeof oneSecond);
  setsockopt(*fd, SOL_SOCKET, SO_SNDTIMEO, &oneSecond, sizeof oneSecond);
  // Urgent bytes become ordinary stream bytes: kept out of band, they would
  // leave the socket readable with no byte counted as waiting.
  const int on = 1;
  setsockopt(*fd, SOL_SOCKET, SO_OOBINLINE, &on, sizeof on);
  // A gateway that went away without a word ends the connection, which the
  // receive thread then sees as lost.
  setsockopt(*fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  const int idle = kKeepAliveIdleSeconds;
  const int interval = kKeepAliveIntervalSeconds;
  const int probes = kKeepAliveProbes;
  setsockopt(*fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  setsockopt(*fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  setsockopt(*fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
  return 0;
}

int32_t ResolveIPv4(const char* host, const char* service, Ipv4Endpoint* endpoint) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  const int status = getaddrinfo(host, service, &hints, &result);
  if (status != 0) return status == EAI_SYSTEM ? LastErrno() : status;
  if (result == nullptr) return EAI_NONAME;
  const auto* address = reinterpret_cast<const sockaddr_in*>(result->ai_addr);
  endpoint->address = address->sin_addr.s_addr;
  endpoint->port = address->sin_port;
  freeaddrinfo(result);
  return 0;
}

int32_t StartConnect(SocketHandle fd, const Ipv4Endpoint& endpoint) {
  const int flags = fcntl(fd, F_GETFL);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = endpoint.address;
  address.sin_port = endpoint.port;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return 0;
  return errno == EINPROGRESS ? 0 : LastErrno();
}

ConnectCheck CheckConnect(SocketHandle fd, int timeoutMs) {
  pollfd p{fd, POLLOUT, 0};
  const int n = poll(&p, 1, timeoutMs);
  // A signal that cuts the wait short leaves the connect to the next check.
  if (n == 0 || (n < 0 && errno == EINTR)) return {ConnectCheck::TimedOut, 0};
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

// Sends block up to their time-out; each receive asks not to wait.
int32_t PrepareTransfers(SocketHandle fd) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) return LastErrno();
  return 0;
}

int32_t SendAll(SocketHandle fd, const uint8_t* bytes, size_t length) {
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

long ReceiveWaiting(SocketHandle fd, uint8_t* buffer, size_t capacity) {
  const ssize_t n = recv(fd, buffer, capacity, MSG_DONTWAIT);
  if (n >= 0) return n;
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return -LinkError::NoData;
  return -LastErrno();
}

bool IsConnectionReset(int32_t error) { return error == ECONNRESET || error == EPIPE; }

InputReadiness WaitForSocketInput(SocketHandle fd, const WakeEvent& wake, int timeoutMs) {
  return WaitForDescriptor(fd, wake, timeoutMs);
}

void CloseSocket(SocketHandle& fd) { CloseDescriptor(fd); }

}  // namespace pelorin
