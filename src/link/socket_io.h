#pragma once

#include "descriptor_wait.h"
#include "link_platform.h"

#include <cstddef>
#include <cstdint>

namespace pelorin {

// The platform's socket library, started and ended once per link object
// (Winsock's WSAStartup and WSACleanup; nothing to do on Linux).
void StartSocketLibrary();
void EndSocketLibrary();

// An IPv4 address and port, both in network byte order.
struct Ipv4Endpoint {
  uint32_t address = 0;
  uint16_t port = 0;
};

// An IPv4 stream socket with 1000 ms receive and send time-outs, urgent data
// inline, keep-alive at the link's pace (link_timing.h) and, where the system
// has the choice, a refused connect that fails at once rather than after the
// SYN is sent again. 0 or the platform's error number.
int32_t OpenTcpSocket(SocketHandle* socket);

// Resolves host and service (port text) to the first IPv4 stream address.
// 0 or the resolver's own error code.
int32_t ResolveIPv4(const char* host, const char* service, Ipv4Endpoint* endpoint);

// Switches the socket to non-blocking mode and starts a connect. 0 when the
// connect is made or in progress, otherwise the error number.
int32_t StartConnect(SocketHandle socket, const Ipv4Endpoint& endpoint);

struct ConnectCheck {
  enum Kind { Writable, TimedOut, NotWritable, Failed } kind;
  int32_t error;  // for Failed: the wait's error or the socket's pending error
};

// One readiness check of a connect in progress: waits up to timeoutMs for the
// socket to become writable, then reads its pending error (SO_ERROR), so that a
// refused connection never counts as made.
ConnectCheck CheckConnect(SocketHandle socket, int timeoutMs);

// Readies a connected socket for the link: a send waits for room up to the
// send time-out, a receive never waits (ReceiveWaiting). 0 or the error number.
int32_t PrepareTransfers(SocketHandle socket);

// Sends every byte, going on after a short send, without raising SIGPIPE.
// 0 or the error number; IsConnectionReset tells a dropped connection.
int32_t SendAll(SocketHandle socket, const uint8_t* bytes, size_t length);

// Receives up to capacity bytes that have already arrived. Returns the count,
// 0 when the peer has closed the connection, or the negated error number;
// nothing there yet (an interrupted or would-block receive) is -NoData.
long ReceiveWaiting(SocketHandle socket, uint8_t* buffer, size_t capacity);

// True for the errors of a send on a connection that the peer has dropped.
bool IsConnectionReset(int32_t error);

// Waits up to timeoutMs for input on the socket, or for the wake event.
InputReadiness WaitForSocketInput(SocketHandle socket, const WakeEvent& wake, int timeoutMs);

// Closes the socket if it is open and marks it closed.
void CloseSocket(SocketHandle& socket);

}  // namespace pelorin
