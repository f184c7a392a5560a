#include "tcp_listener.h"

#include "win32_socket_ready.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <thread>

namespace pelorin::sim {

namespace {

SOCKET Native(intptr_t socket) { return static_cast<SOCKET>(socket); }

std::string Failed(const char* what) {
  return std::string(what) + ": Winsock error " + std::to_string(WSAGetLastError());
}

bool WouldBlock() {
  const int error = WSAGetLastError();
  return error == WSAEWOULDBLOCK || error == WSAEINTR;
}

// A connected socket; a read of 0 bytes means the peer is gone.
class SocketChannel : public SimChannel {
 public:
  explicit SocketChannel(SOCKET socket) : socket_(socket) {
    u_long on = 1;
    ioctlsocket(socket_, FIONBIO, &on);
  }
  ~SocketChannel() override { closesocket(socket_); }
  SocketChannel(const SocketChannel&) = delete;
  SocketChannel& operator=(const SocketChannel&) = delete;

  Ready Wait(bool wantWrite, int timeoutMs) override {
    const SocketReadiness state = WaitForSocketReady(
        socket_, {.read = true, .write = wantWrite, .except = true}, timeoutMs);
    Ready ready;
    ready.readable = state.readable;
    ready.writable = state.writable;
    ready.gone = state.failed || state.error != 0;
    return ready;
  }

  long Read(uint8_t* buffer, size_t size) override {
    const int n = recv(socket_, reinterpret_cast<char*>(buffer), static_cast<int>(size), 0);
    if (n > 0) return n;
    if (n == 0) return -1;
    return WouldBlock() ? 0 : -1;
  }

  long Write(const uint8_t* bytes, size_t size) override {
    const int n = send(socket_, reinterpret_cast<const char*>(bytes), static_cast<int>(size), 0);
    if (n >= 0) return n;
    return WouldBlock() ? 0 : -1;
  }

  bool ResetOnClose() override {
    const linger reset{1, 0};
    return setsockopt(socket_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset),
                      sizeof reset) == 0;
  }

 private:
  SOCKET socket_;
};

}  // namespace

// The simulator's one use of Winsock lasts as long as the process.
bool StartNetworking() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

std::unique_ptr<TcpListener> TcpListener::Open(const std::string& host, int port, int backlog,
                                               std::string* error) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
    *error = "not an IPv4 address: " + host;
    return nullptr;
  }
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == INVALID_SOCKET) {
    *error = Failed("socket");
    return nullptr;
  }
  // Only this listener may take the port: no other program's can share it.
  const BOOL on = TRUE;
  setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
             sizeof on);
  int size = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == SOCKET_ERROR ||
      listen(listener, backlog) == SOCKET_ERROR ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) == SOCKET_ERROR) {
    *error = Failed("listen");
    closesocket(listener);
    return nullptr;
  }
  return std::unique_ptr<TcpListener>(
      new TcpListener(static_cast<intptr_t>(listener), ntohs(address.sin_port)));
}

TcpListener::~TcpListener() { closesocket(Native(socket_)); }

std::unique_ptr<SimChannel> TcpListener::Accept(std::string* error) {
  const SOCKET client = accept(Native(socket_), nullptr, nullptr);
  if (client == INVALID_SOCKET) {
    *error = Failed("accept");
    return nullptr;
  }
  return std::make_unique<SocketChannel>(client);
}

void TcpListener::HoldQueueFull(int milliseconds) {
  sockaddr_in address{};
  int size = sizeof address;
  getsockname(Native(socket_), reinterpret_cast<sockaddr*>(&address), &size);
  if (address.sin_addr.s_addr == htonl(INADDR_ANY)) address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const SOCKET filler = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  connect(filler, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  closesocket(accept(Native(socket_), nullptr, nullptr));
  closesocket(filler);
}

}  // namespace pelorin::sim
