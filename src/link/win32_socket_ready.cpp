#include "win32_socket_ready.h"

namespace pelorin {

namespace {

int32_t LastSocketError() {
  const int error = WSAGetLastError();
  return error != 0 ? error : WSAENOTSOCK;
}

// select() without a time-out: it answers at once and leaves nothing behind.
SocketReadiness ReadinessNow(SOCKET socket, SocketConditions wanted) {
  fd_set sets[3];
  const bool asked[3] = {wanted.read, wanted.write, wanted.except};
  for (int i = 0; i < 3; ++i) {
    FD_ZERO(&sets[i]);
    if (asked[i]) FD_SET(socket, &sets[i]);
  }
  timeval now{0, 0};
  SocketReadiness readiness;
  if (select(0, asked[0] ? &sets[0] : nullptr, asked[1] ? &sets[1] : nullptr,
             asked[2] ? &sets[2] : nullptr, &now) == SOCKET_ERROR) {
    readiness.error = LastSocketError();
    return readiness;
  }
  readiness.readable = asked[0] && FD_ISSET(socket, &sets[0]);
  readiness.writable = asked[1] && FD_ISSET(socket, &sets[1]);
  readiness.failed = asked[2] && FD_ISSET(socket, &sets[2]);
  return readiness;
}

long NetworkEventsFor(SocketConditions wanted) {
  long events = FD_CLOSE;
  if (wanted.read) events |= FD_READ | FD_ACCEPT | FD_OOB;
  if (wanted.write) events |= FD_WRITE | FD_CONNECT;
  if (wanted.except) events |= FD_CONNECT | FD_OOB;
  return events;
}

}  // namespace

SocketReadiness WaitForSocketReady(SOCKET socket, SocketConditions wanted, int timeoutMs) {
  SocketReadiness readiness = ReadinessNow(socket, wanted);
  if (readiness.any() || readiness.error != 0 || timeoutMs <= 0) return readiness;
  const WSAEVENT event = WSACreateEvent();
  if (event == WSA_INVALID_EVENT) {
    readiness.error = LastSocketError();
    return readiness;
  }
  if (WSAEventSelect(socket, event, NetworkEventsFor(wanted)) != 0) {
    readiness.error = LastSocketError();
  } else {
    WaitForSingleObject(event, static_cast<DWORD>(timeoutMs));
    // Takes only this wait's events, so that the next wait starts afresh.
    WSANETWORKEVENTS taken{};
    WSAEnumNetworkEvents(socket, event, &taken);
    WSAEventSelect(socket, nullptr, 0);
    readiness = ReadinessNow(socket, wanted);
  }
  WSACloseEvent(event);
  return readiness;
}

}  // namespace pelorin
