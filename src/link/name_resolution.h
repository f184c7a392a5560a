#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace pelorin {

struct Ipv4Endpoint;

// Resolves host and service (port text) to the first IPv4 stream address:
// 0 or the resolver's own error code. The system's resolver is ResolveIPv4.
using NameResolver = int32_t (*)(const char* host, const char* service, Ipv4Endpoint* endpoint);

// Runs resolve on a thread of its own and waits for it until `cancelled` says
// to stop, looking every few milliseconds. A resolution cannot be interrupted,
// and a slow or dead name server holds it for many seconds: one that is given
// up ends on its own thread, and its result is dropped. The resolver's code,
// or nothing when cancelled.
std::optional<int32_t> ResolveUnlessCancelled(NameResolver resolve, const char* host,
                                              const char* service, Ipv4Endpoint* endpoint,
                                              const std::function<bool()>& cancelled);

}  // namespace pelorin
