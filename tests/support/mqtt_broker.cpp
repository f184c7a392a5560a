#include "mqtt_broker.h"

#include "bounded_command.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <pwd.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace pelorin::test {

namespace {

constexpr auto kStartBound = std::chrono::seconds(30);
const char kMosquitto[] = "/usr/sbin/mosquitto";

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

// A port that nothing listens on now; the broker binds it a moment later.
int FreeLoopbackPort() {
  const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  const bool bound = probe >= 0 && bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                     getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  if (probe >= 0) close(probe);
  if (!bound) throw std::runtime_error("no free port on 127.0.0.1");
  return ntohs(address.sin_port);
}

bool Accepts(int port) {
  const int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = Loopback(port);
  const bool connected =
      client >= 0 && connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (client >= 0) close(client);
  return connected;
}

// The broker drops root's privileges before it reads its key and password
// files, so as root they must belong to the user it becomes.
const passwd* UnprivilegedUser() {
  if (geteuid() != 0) return nullptr;
  const passwd* user = getpwnam("mosquitto");
  if (user == nullptr) user = getpwnam("nobody");
  if (user == nullptr) throw std::runtime_error("no unprivileged user to run mosquitto as");
  return user;
}

std::string Copy(const std::string& from, const std::string& folder, const std::string& name) {
  const std::string to = folder + "/" + name;
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
  return to;
}

std::string PasswordFile(const std::string& folder, const MqttBrokerSettings& settings) {
  const std::string path = folder + "/passwords";
  std::ofstream{path};
  for (const auto& [name, password] : settings.users) {
    const CommandResult made = RunCommand({"/usr/bin/mosquitto_passwd", "-b", path, name, password});
    if (made.exitCode != 0) throw std::runtime_error("mosquitto_passwd: " + made.output);
  }
  return path;
}

std::string Configuration(const std::string& folder, int port, const MqttBrokerSettings& settings,
                          const passwd* user) {
  std::ostringstream config;
  config << "persistence false\n"
         << "listener " << port << " 127.0.0.1\n"
         << "allow_anonymous " << (settings.allowAnonymous ? "true" : "false") << '\n'
         << "log_dest stderr\n"
         << "log_type error\nlog_type warning\nlog_type notice\nlog_type information\n"
         << "log_timestamp_format %H:%M:%S\n";
  if (user != nullptr) config << "user " << user->pw_name << '\n';
  if (!settings.users.empty()) config << "password_file " << PasswordFile(folder, settings) << '\n';
  if (!settings.certFile.empty()) {
    if (!settings.caFile.empty()) config << "cafile " << Copy(settings.caFile, folder, "ca.crt") << '\n';
    config << "certfile " << Copy(settings.certFile, folder, "server.crt") << '\n'
           << "keyfile " << Copy(settings.keyFile, folder, "server.key") << '\n';
  }
  return config.str();
}

}  // namespace

MqttBroker::MqttBroker(const MqttBrokerSettings& settings)
    : configPath_(folder_.path() + "/mosquitto.conf"), logPath_(folder_.path() + "/mosquitto.log") {
  port_ = FreeLoopbackPort();
  const passwd* user = UnprivilegedUser();
  std::ofstream(configPath_) << Configuration(folder_.path(), port_, settings, user);
  if (user != nullptr) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder_.path())) {
      if (chown(entry.path().c_str(), user->pw_uid, user->pw_gid) != 0) {
        throw std::runtime_error("cannot give " + entry.path().string() + " to " + user->pw_name);
      }
    }
  }
  Start();
}

MqttBroker::~MqttBroker() { Stop(SIGTERM); }

void MqttBroker::Start() {
  if (process_ > 0) return;
  const int log = open(logPath_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  const int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(nothing, STDIN_FILENO);
    dup2(log, STDOUT_FILENO);
    dup2(log, STDERR_FILENO);
    // A broker started again must not hold the test's client sockets open.
    close_range(3, ~0u, 0);
    execl(kMosquitto, kMosquitto, "-c", configPath_.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(log);
  close(nothing);
  if (pid < 0) throw std::runtime_error("cannot start mosquitto");
  process_ = pid;

  const auto deadline = std::chrono::steady_clock::now() + kStartBound;
  while (!Accepts(port_)) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      process_ = -1;
      throw std::runtime_error("mosquitto ended at its start:\n" + Log());
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      Stop(SIGKILL);
      throw std::runtime_error("mosquitto did not listen on port " + std::to_string(port_) + ":\n" + Log());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

void MqttBroker::Kill() { Stop(SIGKILL); }

// A broker that ignores SIGTERM for ten seconds is killed.
void MqttBroker::Stop(int signal) {
  if (process_ <= 0) return;
  kill(process_, signal);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (waitpid(process_, nullptr, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(process_, SIGKILL);
      waitpid(process_, nullptr, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  process_ = -1;
}

std::string MqttBroker::Log() const {
  std::ifstream file(logPath_);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace pelorin::test
