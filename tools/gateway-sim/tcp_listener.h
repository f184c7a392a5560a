#pragma once

#include "sim_channel.h"

#include <memory>
#include <string>

namespace pelorin::sim {

// Readies the process for sockets: Winsock started, or SIGPIPE ignored.
bool StartNetworking();

// A listening IPv4 socket whose connections are served one at a time.
class TcpListener {
 public:
  // Listens on host:port (port 0 picks a free one) with room for backlog
  // waiting connections; nothing and a reason when that fails.
  static std::unique_ptr<TcpListener> Open(const std::string& host, int port, int backlog,
                                           std::string* error);
  ~TcpListener();
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  int Port() const { return port_; }
  // The next connection, made non-blocking; nothing and a reason on failure.
  std::unique_ptr<SimChannel> Accept(std::string* error);
  // Keeps the accept queue full with a connection of our own for the delay,
  // so that a client's connect stays unanswered that long, then takes it away.
  void HoldQueueFull(int milliseconds);

 private:
  TcpListener(intptr_t socket, int port) : socket_(socket), port_(port) {}

  intptr_t socket_;
  int port_;
};

}  // namespace pelorin::sim
