#include "loopback.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <dirent.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace pelorin::test {

namespace {

int CountEntries(const char* directory) {
  DIR* dir = opendir(directory);
  if (dir == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count;
}

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

LoopbackServer::LoopbackServer(int backlog) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 ||
      listen(listener_, backlog) < 0) {
    throw std::runtime_error("loopback listener");
  }
  socklen_t size = sizeof address;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
  port_ = ntohs(address.sin_port);
}

LoopbackServer::~LoopbackServer() { CloseListener(); }

int LoopbackServer::Accept(int timeoutMs) {
  pollfd p{listener_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) != 1) return -1;
  return accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
}

void LoopbackServer::CloseListener() {
  if (listener_ >= 0) close(listener_);
  listener_ = -1;
}

int ConnectTo(const LoopbackServer& server) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = Loopback(std::stoi(server.port()));
  connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  return fd;
}

void SendBytes(int fd, const std::vector<uint8_t>& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + sent, bytes.size() - sent);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error("test peer write failed");
    sent += static_cast<size_t>(n);
  }
}

std::vector<uint8_t> ReceiveBytes(int fd, size_t count, int timeoutMs) {
  std::vector<uint8_t> bytes;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (bytes.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now()).count();
    pollfd p{fd, POLLIN, 0};
    if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
    uint8_t buffer[4096];
    const ssize_t n = read(fd, buffer, std::min(sizeof buffer, count - bytes.size()));
    if (n <= 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return bytes;
}

void ResetAndClose(int fd) {
  const linger reset{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  close(fd);
}

int OpenDescriptorCount() { return CountEntries("/proc/self/fd"); }

int LinkDescriptorCount() {
  int count = 0;
  for (int fd = 0; fd < 4096; ++fd) {
    char target[256];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    const std::string path(target, static_cast<size_t>(n));
    if (path.rfind("socket:", 0) == 0 || path.rfind("/dev/pts/", 0) == 0) ++count;
  }
  return count;
}

int PelorinThreadCount() {
  DIR* dir = opendir("/proc/self/task");
  if (dir == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
    std::string name;
    std::getline(comm, name);
    if (name.rfind("pelorin-", 0) == 0) ++count;
  }
  closedir(dir);
  return count;
}
int ThreadCount() { return CountEntries("/proc/self/task"); }

long long ThreadWakeups(const std::string& name) {
  DIR* dir = opendir("/proc/self/task");
  if (dir == nullptr) return -1;
  long long switches = 0;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    const std::string task = std::string("/proc/self/task/") + entry->d_name;
    std::ifstream comm(task + "/comm");
    std::string taskName;
    std::getline(comm, taskName);
    if (taskName != name) continue;
    std::ifstream status(task + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.find("ctxt_switches:") != std::string::npos) {
        switches += std::stoll(line.substr(line.find(':') + 1));
      }
    }
  }
  closedir(dir);
  return switches;
}

}  // namespace pelorin::test
