#include "service_notice.h"

#include <systemd/sd-daemon.h>

#include <cstdlib>

namespace pelorin::logger {

bool ServiceManagerListens() {
  const char* socket = std::getenv("NOTIFY_SOCKET");
  return socket != nullptr && *socket != '\0';
}

std::chrono::microseconds ServiceWatchdogInterval() {
  uint64_t interval = 0;
  if (sd_watchdog_enabled(0, &interval) <= 0) return std::chrono::microseconds(0);
  return std::chrono::microseconds(interval);
}

// A notice that cannot be sent changes nothing in the logging.
void SendServiceNotice(const std::string& assignments) { sd_notify(0, assignments.c_str()); }

}  // namespace pelorin::logger
