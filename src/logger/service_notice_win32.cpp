#include "service_notice.h"

namespace pelorin::logger {

// The Windows program runs in a console: no manager listens for notices.
bool ServiceManagerListens() { return false; }

std::chrono::microseconds ServiceWatchdogInterval() { return std::chrono::microseconds(0); }

void SendServiceNotice(const std::string&) {}

}  // namespace pelorin::logger
