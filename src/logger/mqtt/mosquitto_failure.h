#pragma once

#include <string>
#include <string_view>

namespace pelorin::mqtt {

// Why the broker could not be reached or was lost, in a line an operator can
// act on: libmosquitto's result, the system's error (errno, or the resolver's
// code for an unknown host), what the TLS library said, and the broker's own
// refusal of the login, whichever applies.
std::string BrokerFailure(int result, int error, std::string_view tlsError, std::string_view refusal);

// The broker's answer to a login that it refused (CONNACK's code).
std::string RefusalText(int code);

// What a libmosquitto log line says of a TLS failure ("certificate verify
// failed"), or an empty string for another line.
std::string TlsLibraryError(std::string_view line);

}  // namespace pelorin::mqtt
