#include "process_counts.h"

#include <dirent.h>
#include <fstream>
#include <sys/resource.h>
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

}  // namespace

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

double ProcessCpuMilliseconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
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
