#pragma once

#include <string>

struct mosquitto;

namespace pelorin::mqtt {

// What the publisher asks of libmosquitto's socket itself, where the library
// has no call for it.

// Why a connection being made has failed, or an empty string. Over TLS,
// libmosquitto's loop does not see a refused connection and turns without
// waiting until the login's answer is given up on; the socket tells.
std::string ConnectFailure(mosquitto* client);

// Holds the socket's segments back while a batch is written (TCP_CORK), so
// that it leaves in as few segments as it fills rather than one a message.
class Cork {
 public:
  Cork(mosquitto* client, bool wanted);
  ~Cork();
  Cork(const Cork&) = delete;
  Cork& operator=(const Cork&) = delete;

 private:
  void Set(int on) const;
  const int socket_;
};

}  // namespace pelorin::mqtt
