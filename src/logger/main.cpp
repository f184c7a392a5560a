// pelorin-logger: logs every node report of a gateway to a CSV file, without
// a window, for as long as it runs.

#include "logger_options.h"
#include "logger_run.h"
#include "program_identity.h"
#include "stop_signals.h"

#include <cstdio>
#include <ctime>
#include <string>

namespace {

// One line per event on stderr, after the local time.
void SayOnStderr(std::string_view line) {
  const std::time_t now = std::time(nullptr);
  char stamp[32] = "";
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  std::fprintf(stderr, "%s %.*s\n", stamp, static_cast<int>(line.size()), line.data());
  std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
  using pelorin::logger::ParsedArguments;
  const ParsedArguments parsed =
      pelorin::logger::ParseArguments(argc, argv, pelorin::monitor::ProgramVersionText());
  switch (parsed.action) {
    case ParsedArguments::Action::PrintAndExit:
      std::fputs(parsed.text.c_str(), stdout);
      return 0;
    case ParsedArguments::Action::Refuse:
      std::fprintf(stderr, "pelorin-logger: %s\n", parsed.text.c_str());
      return 2;
    case ParsedArguments::Action::Run:
      break;
  }
  const bool quiet = parsed.options.quiet;
  pelorin::logger::LoggerRun run(parsed.options, [quiet](std::string_view line, bool failure) {
    if (failure || !quiet) SayOnStderr(line);
  });
  pelorin::logger::WatchStopSignals([&run] { run.RequestStop(); });
  return run.Run();
}
