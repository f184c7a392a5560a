#include "sim_process.h"

#include "wide_text.h"

#include <windows.h>

#include <stdexcept>

namespace pelorin::test {

namespace {

// Wine now and then loses a process at its start, before it has printed
// anything: such a start is given up after this long and tried again.
constexpr DWORD kFirstLineWaitMs = 20000;
constexpr int kStartAttempts = 3;

struct Started {
  HANDLE process = nullptr;
  std::string line;
};

// Reads the child's first line from the pipe without waiting on it for ever:
// empty when the child ends or stays silent.
std::string FirstLine(HANDLE pipe, HANDLE process) {
  std::string line;
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < kFirstLineWaitMs) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return {};
    if (available == 0) {
      if (WaitForSingleObject(process, 10) == WAIT_OBJECT_0) return {};
      continue;
    }
    char c = 0;
    DWORD count = 0;
    if (!ReadFile(pipe, &c, 1, &count, nullptr) || count != 1) return {};
    if (c == '\n') return line;
    if (c != '\r') line.push_back(c);
  }
  return {};
}

Started Start(const std::vector<std::string>& arguments) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) throw std::runtime_error("CreatePipe");
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);

  std::wstring command = L"\"" + Widen(PELORIN_SIM_PATH) + L"\"";
  for (const std::string& argument : arguments) command += L" \"" + Widen(argument) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION child{};
  const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &child);
  CloseHandle(write);
  if (!started) {
    CloseHandle(read);
    throw std::runtime_error("simulator did not start");
  }
  CloseHandle(child.hThread);
  Started result{child.hProcess, FirstLine(read, child.hProcess)};
  CloseHandle(read);
  return result;
}

void End(HANDLE process) {
  TerminateProcess(process, 0);
  WaitForSingleObject(process, 10000);
  CloseHandle(process);
}

}  // namespace

SimProcess::SimProcess(const std::vector<std::string>& arguments) {
  Started child;
  size_t cut = std::string::npos;
  for (int attempt = 0; attempt < kStartAttempts && cut == std::string::npos; ++attempt) {
    if (child.process != nullptr) End(child.process);
    child = Start(arguments);
    cut = child.line.find_last_of(" :");
  }
  if (cut == std::string::npos) {
    End(child.process);
    throw std::runtime_error("simulator did not start");
  }
  process_ = reinterpret_cast<intptr_t>(child.process);
  endpoint_ = child.line.substr(cut + 1);
  // A test process that dies takes its simulators with it.
  const HANDLE job = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  AssignProcessToJobObject(job, child.process);
  job_ = reinterpret_cast<intptr_t>(job);
}

SimProcess::~SimProcess() {
  End(reinterpret_cast<HANDLE>(process_));
  CloseHandle(reinterpret_cast<HANDLE>(job_));
}

}  // namespace pelorin::test
