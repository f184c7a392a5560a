#pragma once

#include <winsock2.h>

#include <cstdint>

namespace pelorin {

// What select() would say of one socket, asked for some of its three sets.
struct SocketReadiness {
  bool readable = false;
  bool writable = false;
  bool failed = false;  // the except set: a failed connect, urgent data
  int32_t error = 0;    // the wait's own Winsock error
  bool any() const { return readable || writable || failed; }
};

struct SocketConditions {
  bool read = false;
  bool write = false;
  bool except = false;
};

// Waits up to timeoutMs until the socket meets one of the wanted conditions,
// as select() with that time-out would. select() itself is only ever asked
// without a time-out: a timed select leaves a timed poll in Wine's server,
// which aborts the server (and with it every program it serves) when the
// poll's time runs out just after the socket turned ready. The wait itself is
// on an event that the socket's network events set. Leaves the socket
// non-blocking.
SocketReadiness WaitForSocketReady(SOCKET socket, SocketConditions wanted, int timeoutMs);

}  // namespace pelorin
