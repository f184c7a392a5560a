#include "socket_io.h"

#include "link_error.h"
#include "link_timing.h"
#include "win32_socket_ready.h"

#include <winsock2.h>
#include <mstcpip.h>
#include <ws2tcpip.h>

namespace pelorin {

namespace {

SOCKET Native(SocketHandle socket) { return static_cast<SOCKET>(socket); }

// The sockets' receive and send time-outs; a send that finds no room on the
// non-blocking socket waits as long.
constexpr int kTimeoutMs = 1000;

// The socket option for the number of keep-alive probes (TCP_KEEPCNT of the
// Windows SDK's ws2ipdef.h), which MinGW-w64's headers lack.
constexpr int kTcpKeepCount = 16;

// The calling thread's last socket error, never 0.
int32_t LastSocketError() {
  const int error = WSAGetLastError();
  return error != 0 ? error : WSAENOTSOCK;
}

}  // namespace

// Every link holds its own use of Winsock, so that the library stays started
// for as long as any link lives.
void StartSocketLibrary() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 0), &data);
}

void EndSocketLibrary() { WSACleanup(); }

int32_t OpenTcpSocket(SocketHandle* socket) {
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  *socket = static_cast<SocketHandle>(s);
  if (s == INVALID_SOCKET) return LastSocketError();
  // Winsock takes the time-outs as milliseconds in a DWORD.
  const DWORD timeout = kTimeoutMs;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  // Urgent bytes become ordinary stream bytes: kept out of band, they would
  // leave the socket readable with no byte counted as waiting.
  const BOOL on = TRUE;
  setsockopt(s, SOL_SOCKET, SO_OOBINLINE, reinterpret_cast<const char*>(&on), sizeof on);
  // Windows answers a refusal by sending the SYN again and fails the connect
  // only after about two seconds, which the one-second readiness check would
  // read as a time-out. Windows 7 lacks the control; it then keeps its default.
  TCP_INITIAL_RTO_PARAMETERS rto{TCP_INITIAL_RTO_UNSPECIFIED_RTT,
                                 TCP_INITIAL_RTO_NO_SYN_RETRANSMISSIONS};
  DWORD returned = 0;
  WSAIoctl(s, SIO_TCP_INITIAL_RTO, &rto, sizeof rto, nullptr, 0, &returned, nullptr, nullptr);
  // A gateway that went away without a word ends the connection, which the
  // receive thread then sees as lost. The number of probes can be set from
  // Windows 10 1703 on; before, Windows asks ten times.
  tcp_keepalive keepAlive{1, kKeepAliveIdleSeconds * 1000u, kKeepAliveIntervalSeconds * 1000u};
  WSAIoctl(s, SIO_KEEPALIVE_VALS, &keepAlive, sizeof keepAlive, nullptr, 0, &returned, nullptr,
           nullptr);
  const DWORD probes = kKeepAliveProbes;
  setsockopt(s, IPPROTO_TCP, kTcpKeepCount, reinterpret_cast<const char*>(&probes), sizeof probes);
  return 0;
}

namespace {

// A lookup holds a use of Winsock of its own for as long as it runs: one
// that its caller gave up ends on its own thread, maybe after the last link
// has ended its use, and must not find the library cleaned up under it.
class SocketLibraryUse {
 public:
  SocketLibraryUse() {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 0), &data) == 0;
  }
  ~SocketLibraryUse() {
    if (started_) WSACleanup();
  }
  SocketLibraryUse(const SocketLibraryUse&) = delete;
  SocketLibraryUse& operator=(const SocketLibraryUse&) = delete;

 private:
  bool started_ = false;
};

}  // namespace

int32_t ResolveIPv4(const char* host, const char* service, Ipv4Endpoint* endpoint) {
  const SocketLibraryUse use;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  const int status = getaddrinfo(host, service, &hints, &result);
  if (status != 0) return status;
  if (result == nullptr) return WSAHOST_NOT_FOUND;
  const auto* address = reinterpret_cast<const sockaddr_in*>(result->ai_addr);
  endpoint->address = address->sin_addr.s_addr;
  endpoint->port = address->sin_port;
  freeaddrinfo(result);
  return 0;
}

int32_t StartConnect(SocketHandle socket, const Ipv4Endpoint& endpoint) {
  u_long nonBlocking = 1;
  ioctlsocket(Native(socket), FIONBIO, &nonBlocking);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = endpoint.address;
  address.sin_port = endpoint.port;
  if (connect(Native(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    return 0;
  }
  const int32_t error = LastSocketError();
  return error == WSAEWOULDBLOCK ? 0 : error;
}

ConnectCheck CheckConnect(SocketHandle socket, int timeoutMs) {
  // A refused connect shows in the except set, not the write set: watch both,
  // and let the socket's pending error decide.
  const SocketReadiness ready =
      WaitForSocketReady(Native(socket), {.write = true, .except = true}, timeoutMs);
  if (ready.error != 0) return {ConnectCheck::Failed, ready.error};
  if (!ready.any()) return {ConnectCheck::TimedOut, 0};
  int pending = 0;
  int size = sizeof pending;
  if (getsockopt(Native(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&pending),
                 &size) == SOCKET_ERROR) {
    return {ConnectCheck::Failed, LastSocketError()};
  }
  if (pending != 0) return {ConnectCheck::Failed, pending};
  if (!ready.writable) return {ConnectCheck::NotWritable, 0};
  return {ConnectCheck::Writable, 0};
}

// Winsock has no per-call flag that keeps a receive from waiting, so the
// socket stays non-blocking after its connect and a send that finds no room
// waits for it here, as long as the send time-out would.
int32_t PrepareTransfers(SocketHandle) { return 0; }

namespace {

// Waits up to the send time-out for room in the socket's send buffer.
int32_t WaitForRoom(SocketHandle socket) {
  const SocketReadiness ready = WaitForSocketReady(Native(socket), {.write = true}, kTimeoutMs);
  if (ready.error != 0) return ready.error;
  return ready.writable ? 0 : WSAETIMEDOUT;
}

}  // namespace

int32_t SendAll(SocketHandle socket, const uint8_t* bytes, size_t length) {
  size_t sent = 0;
  while (sent < length) {
    const int n = send(Native(socket), reinterpret_cast<const char*>(bytes + sent),
                       static_cast<int>(length - sent), 0);
    if (n != SOCKET_ERROR) {
      sent += static_cast<size_t>(n);
      continue;
    }
    const int32_t error = LastSocketError();
    if (error == WSAEINTR) continue;
    if (error != WSAEWOULDBLOCK) return error;
    if (const int32_t waited = WaitForRoom(socket); waited != 0) return waited;
  }
  return 0;
}

long ReceiveWaiting(SocketHandle socket, uint8_t* buffer, size_t capacity) {
  const int n =
      recv(Native(socket), reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0);
  if (n >= 0) return n;
  const int32_t error = LastSocketError();
  if (error == WSAEWOULDBLOCK || error == WSAEINTR) return -LinkError::NoData;
  return -error;
}

bool IsConnectionReset(int32_t error) {
  return error == WSAECONNRESET || error == WSAECONNABORTED;
}

// The wait borrows an event selection for the length of the wait and gives it
// back. The sending thread never runs meanwhile: the receive thread holds the
// socket while it waits.
InputReadiness WaitForSocketInput(SocketHandle socket, const WakeEvent& wake, int timeoutMs) {
  const WSAEVENT input = WSACreateEvent();
  if (input == WSA_INVALID_EVENT) return InputReadiness::Failed;
  InputReadiness readiness = InputReadiness::Failed;
  if (WSAEventSelect(Native(socket), input, FD_READ | FD_OOB | FD_CLOSE) == 0) {
    const HANDLE events[2] = {reinterpret_cast<HANDLE>(wake.native()), input};
    const DWORD result = WaitForMultipleObjects(2, events, FALSE, static_cast<DWORD>(timeoutMs));
    WSANETWORKEVENTS happened{};
    if (result == WAIT_OBJECT_0) {
      readiness = InputReadiness::Woken;
    } else if (result == WAIT_OBJECT_0 + 1 &&
               WSAEnumNetworkEvents(Native(socket), input, &happened) == 0) {
      readiness = (happened.lNetworkEvents & FD_CLOSE) != 0 ? InputReadiness::HangUp
                                                            : InputReadiness::Readable;
    } else if (result == WAIT_TIMEOUT) {
      readiness = InputReadiness::TimedOut;
    }
    WSAEventSelect(Native(socket), nullptr, 0);
  }
  WSACloseEvent(input);
  return readiness;
}

void CloseSocket(SocketHandle& socket) {
  if (socket != kNoSocket) closesocket(Native(socket));
  socket = kNoSocket;
}

}  // namespace pelorin
