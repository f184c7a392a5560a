#include "mosquitto_failure.h"

#include <mosquitto.h>
#include <netdb.h>

#include <system_error>

namespace pelorin::mqtt {

std::string BrokerFailure(int result, int error, std::string_view tlsError, std::string_view refusal) {
  if (!refusal.empty()) return std::string(refusal);
  switch (result) {
    case MOSQ_ERR_EAI:
      return std::string("unknown host (") + gai_strerror(error) + ")";
    case MOSQ_ERR_ERRNO:
      return std::system_category().message(error);
    case MOSQ_ERR_TLS:
    case MOSQ_ERR_TLS_HANDSHAKE:
      return tlsError.empty() ? "the TLS handshake failed" : "TLS: " + std::string(tlsError);
    case MOSQ_ERR_CONN_LOST:
      return tlsError.empty() ? "the connection was lost" : "TLS: " + std::string(tlsError);
    case MOSQ_ERR_KEEPALIVE:
      return "the broker stopped answering";
    default:
      return mosquitto_strerror(result);
  }
}

std::string RefusalText(int code) {
  switch (code) {
    case 1:
      return "the broker refused the login: it does not speak MQTT 3.1.1";
    case 2:
      return "the broker refused the login: it rejected the client identifier";
    case 3:
      return "the broker refused the login: it is unavailable";
    case 4:
      return "the broker refused the login: bad user name or password";
    case 5:
      return "the broker refused the login: not authorised";
    default:
      return "the broker refused the login (code " + std::to_string(code) + ")";
  }
}

std::string TlsLibraryError(std::string_view line) {
  // "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed"
  if (!line.starts_with("OpenSSL Error")) return {};
  const size_t reason = line.rfind(':');
  return std::string(reason == std::string_view::npos ? line : line.substr(reason + 1));
}

}  // namespace pelorin::mqtt
