#include "mosquitto_socket.h"

#include <mosquitto.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <system_error>

namespace pelorin::mqtt {

std::string ConnectFailure(mosquitto* client) {
  const int socket = mosquitto_socket(client);
  // A socket whose connection failed polls as hung up.
  pollfd watched{socket, POLLOUT, 0};
  if (socket < 0 || poll(&watched, 1, 0) != 1 || (watched.revents & POLLHUP) == 0) return {};
  int error = 0;
  socklen_t length = sizeof error;
  getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length);
  return error != 0 ? std::system_category().message(error) : "the connection was refused or closed";
}

Cork::Cork(mosquitto* client, bool wanted) : socket_(wanted ? mosquitto_socket(client) : -1) { Set(1); }

Cork::~Cork() { Set(0); }

void Cork::Set(int on) const {
  if (socket_ >= 0) setsockopt(socket_, IPPROTO_TCP, TCP_CORK, &on, sizeof on);
}

}  // namespace pelorin::mqtt
