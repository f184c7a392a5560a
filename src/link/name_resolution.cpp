#include "name_resolution.h"

#include "socket_io.h"
#include "thread_name.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace pelorin {

namespace {

// Shared by the waiting thread and the resolving thread, so that whichever
// ends last releases it.
struct Resolution {
  std::string host;
  std::string service;
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  int32_t code = 0;
  Ipv4Endpoint endpoint;
};

constexpr auto kCancelLook = std::chrono::milliseconds(10);

}  // namespace

std::optional<int32_t> ResolveUnlessCancelled(NameResolver resolve, const char* host,
                                              const char* service, Ipv4Endpoint* endpoint,
                                              const std::function<bool()>& cancelled) {
  auto resolution = std::make_shared<Resolution>();
  resolution->host = host;
  resolution->service = service;
  std::thread resolver;
  try {
    resolver = std::thread([resolution, resolve] {
      NameThisThread("pelorin-resolve");
      Ipv4Endpoint found;
      const int32_t code = resolve(resolution->host.c_str(), resolution->service.c_str(), &found);
      const std::lock_guard lock(resolution->mutex);
      resolution->code = code;
      resolution->endpoint = found;
      resolution->done = true;
      resolution->finished.notify_all();
    });
  } catch (const std::system_error&) {
    // No thread to spare: resolve here, without the way out.
    return resolve(host, service, endpoint);
  }
  std::unique_lock lock(resolution->mutex);
  while (!resolution->finished.wait_for(lock, kCancelLook, [&] { return resolution->done; })) {
    if (cancelled()) {
      lock.unlock();
      resolver.detach();
      return std::nullopt;
    }
  }
  *endpoint = resolution->endpoint;
  const int32_t code = resolution->code;
  lock.unlock();
  resolver.join();
  return code;
}

}  // namespace pelorin
