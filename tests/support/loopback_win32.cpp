#include "loopback.h"

#include "win32_socket_ready.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace pelorin::test {

namespace {

// The test's own use of Winsock, for as long as the process runs: test peers
// exist before and after any link, which holds a use of its own.
void StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) throw std::runtime_error("WSAStartup");
}

SOCKET Native(Socket socket) { return static_cast<SOCKET>(socket); }

Socket FromNative(SOCKET socket) {
  return socket == INVALID_SOCKET ? -1 : static_cast<Socket>(socket);
}

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// Waits up to timeoutMs for the socket to become readable, the way the link
// waits, and leaves it blocking again for the test's sends and receives.
bool Readable(Socket socket, int timeoutMs) {
  const bool readable = WaitForSocketReady(Native(socket), {.read = true}, timeoutMs).readable;
  u_long blocking = 0;
  ioctlsocket(Native(socket), FIONBIO, &blocking);
  return readable;
}

}  // namespace

const int32_t kConnectionRefused = WSAECONNREFUSED;

bool IsResolverError(int32_t code) {
  return code == WSAHOST_NOT_FOUND || code == WSANO_DATA || code == WSATRY_AGAIN ||
         code == WSANO_RECOVERY;
}

LoopbackServer::LoopbackServer(int backlog) {
  StartWinsock();
  listener_ = FromNative(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in address = Loopback(0);
  if (listener_ < 0 ||
      bind(Native(listener_), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(Native(listener_), backlog) != 0) {
    throw std::runtime_error("loopback listener");
  }
  int size = sizeof address;
  getsockname(Native(listener_), reinterpret_cast<sockaddr*>(&address), &size);
  port_ = ntohs(address.sin_port);
}

LoopbackServer::~LoopbackServer() { CloseListener(); }

Socket LoopbackServer::Accept(int timeoutMs) {
  if (!Readable(listener_, timeoutMs)) return -1;
  return FromNative(accept(Native(listener_), nullptr, nullptr));
}

void LoopbackServer::CloseListener() {
  if (listener_ >= 0) closesocket(Native(listener_));
  listener_ = -1;
}

Socket ConnectTo(const LoopbackServer& server) {
  StartWinsock();
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  const sockaddr_in address = Loopback(std::stoi(server.port()));
  connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  return FromNative(s);
}

void SendBytes(Socket socket, const std::vector<uint8_t>& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const int n = send(Native(socket), reinterpret_cast<const char*>(bytes.data() + sent),
                       static_cast<int>(bytes.size() - sent), 0);
    if (n <= 0) throw std::runtime_error("test peer send failed");
    sent += static_cast<size_t>(n);
  }
}

std::vector<uint8_t> ReceiveBytes(Socket socket, size_t count, int timeoutMs) {
  std::vector<uint8_t> bytes;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (bytes.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0 || !Readable(socket, static_cast<int>(left))) break;
    char buffer[4096];
    const int n = recv(Native(socket), buffer,
                       static_cast<int>(std::min(sizeof buffer, count - bytes.size())), 0);
    if (n <= 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return bytes;
}

void CloseSocket(Socket socket) { closesocket(Native(socket)); }

void SendUrgentByte(Socket socket) { send(Native(socket), "u", 1, MSG_OOB); }

void ResetAndClose(Socket socket) {
  const linger reset{1, 0};
  setsockopt(Native(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset),
             sizeof reset);
  closesocket(Native(socket));
}

}  // namespace pelorin::test
