#include "sim_process.h"

#include "wide_text.h"

#include <windows.h>

#include <stdexcept>

namespace pelorin::test {

SimProcess::SimProcess(const std::vector<std::string>& arguments) {
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
  std::string line;
  char c = 0;
  DWORD count = 0;
  while (started && ReadFile(read, &c, 1, &count, nullptr) && count == 1 && c != '\n') {
    if (c != '\r') line.push_back(c);
  }
  CloseHandle(read);
  if (!started) throw std::runtime_error("simulator did not start");
  CloseHandle(child.hThread);
  process_ = reinterpret_cast<intptr_t>(child.hProcess);
  // A test process that dies takes its simulators with it.
  const HANDLE job = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  AssignProcessToJobObject(job, child.hProcess);
  job_ = reinterpret_cast<intptr_t>(job);
  const size_t cut = line.find_last_of(" :");
  if (cut == std::string::npos) throw std::runtime_error("simulator did not start");
  endpoint_ = line.substr(cut + 1);
}

SimProcess::~SimProcess() {
  const HANDLE process = reinterpret_cast<HANDLE>(process_);
  TerminateProcess(process, 0);
  WaitForSingleObject(process, INFINITE);
  CloseHandle(process);
  CloseHandle(reinterpret_cast<HANDLE>(job_));
}

}  // namespace pelorin::test
