#include "sim_process.h"

#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace pelorin::test {

SimProcess::SimProcess(const std::vector<std::string>& arguments) {
  int out[2];
  if (pipe(out) < 0) throw std::runtime_error("pipe");
  std::vector<char*> argv;
  std::string path = PELORIN_SIM_PATH;
  argv.push_back(path.data());
  std::vector<std::string> copy = arguments;
  for (std::string& arg : copy) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  process_ = pid;
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  std::string line;
  char c = 0;
  while (read(out[0], &c, 1) == 1 && c != '\n') line.push_back(c);
  close(out[0]);
  const size_t cut = line.find_last_of(" :");
  if (pid < 0 || cut == std::string::npos) throw std::runtime_error("simulator did not start");
  endpoint_ = line.substr(cut + 1);
}

SimProcess::~SimProcess() {
  if (process_ > 0) {
    kill(static_cast<pid_t>(process_), SIGTERM);
    waitpid(static_cast<pid_t>(process_), nullptr, 0);
  }
}

}  // namespace pelorin::test
