#include "tcp_listener.h"

#include "fd_channel.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace pelorin::sim {

namespace {

std::string Failed(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

// A monitor that goes away mid-write must not end the simulator.
bool StartNetworking() { return std::signal(SIGPIPE, SIG_IGN) != SIG_ERR; }

std::unique_ptr<TcpListener> TcpListener::Open(const std::string& host, int port, int backlog,
                                               std::string* error) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
    *error = "not an IPv4 address: " + host;
    return nullptr;
  }
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0) {
    *error = Failed("socket");
    return nullptr;
  }
  const int on = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  socklen_t size = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 ||
      listen(listener, backlog) < 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) < 0) {
    *error = Failed("listen");
    close(listener);
    return nullptr;
  }
  return std::unique_ptr<TcpListener>(new TcpListener(listener, ntohs(address.sin_port)));
}

TcpListener::~TcpListener() { close(static_cast<int>(socket_)); }

std::unique_ptr<SimChannel> TcpListener::Accept(std::string* error) {
  for (;;) {
    const int client = accept4(static_cast<int>(socket_), nullptr, nullptr, SOCK_CLOEXEC);
    if (client >= 0) return std::make_unique<FdChannel>(client, true);
    if (errno != EINTR) {
      *error = Failed("accept");
      return nullptr;
    }
  }
}

void TcpListener::HoldQueueFull(int milliseconds) {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  getsockname(static_cast<int>(socket_), reinterpret_cast<sockaddr*>(&address), &size);
  if (address.sin_addr.s_addr == htonl(INADDR_ANY)) address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int filler = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  connect(filler, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  close(accept4(static_cast<int>(socket_), nullptr, nullptr, SOCK_CLOEXEC));
  close(filler);
}

}  // namespace pelorin::sim
