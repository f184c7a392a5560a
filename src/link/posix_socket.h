#pragma once

#include <cstddef>
#include <cstdint>

#include <netinet/in.h>

namespace pelorin {

// An IPv4 stream socket with 1000 ms receive and send time-outs and urgent
// data inline. 0 or errno.
int32_t OpenTcpSocket(int* fd);

// Resolves host and service (port text) to the first IPv4 stream address.
// 0 or the resolver's own error code (EAI_*; errno for EAI_SYSTEM).
int32_t ResolveIPv4(const char* host, const char* service, sockaddr_in* address);

// Switches the socket to non-blocking mode and starts a connect. 0 when the
// connect is made or in progress, otherwise its errno.
int32_t StartConnect(int fd, const sockaddr_in& address);

struct ConnectCheck {
  enum Kind { Writable, TimedOut, NotWritable, Failed } kind;
  int32_t error;  // for Failed: the wait's errno or the socket's pending error
};

// One readiness check of a connect in progress: waits up to timeoutMs for the
// socket to become writable, then reads its pending error (SO_ERROR), so that a
// refused connection never counts as made.
ConnectCheck CheckConnect(int fd, int timeoutMs);

int32_t SetBlocking(int fd);

// Sends every byte, going on after a short send, without raising SIGPIPE.
// 0 or errno (EPIPE or ECONNRESET when the peer has dropped the connection).
int32_t SendAll(int fd, const uint8_t* bytes, size_t length);

// Receives up to capacity bytes that have already arrived. Returns the count,
// 0 when the peer has closed the connection, or -errno.
long ReceiveWaiting(int fd, uint8_t* buffer, size_t capacity);

// True when the peer has closed the connection and nothing is left to read.
bool PeerHasClosed(int fd);

bool IsConnectionReset(int32_t error);

}  // namespace pelorin
