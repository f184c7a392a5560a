// pelorin-logger: logs every node report of a gateway to a CSV file, without
// a window, for as long as it runs.

#include "logger_options.h"
#include "logger_run.h"
#include "process_start.h"
#include "program_identity.h"
#include "stop_signals.h"
#include "terminal.h"
#include "terminal_view.h"
#include "utf8_arguments.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

// An event line: the local time, then the event.
std::string Stamped(std::string_view line) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char stamp[32] = "";
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S ", &local);
  return stamp + std::string(line);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace pelorin::logger;
  PrepareProcess();
  const std::vector<std::string> arguments = Utf8Arguments(argc, argv);
  std::vector<const char*> pointers;
  for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
  const ParsedArguments parsed = ParseArguments(static_cast<int>(pointers.size()), pointers.data(),
                                                pelorin::monitor::ProgramVersionText());
  switch (parsed.action) {
    case ParsedArguments::Action::PrintAndExit:
      WriteText(stdout, parsed.text);
      return 0;
    case ParsedArguments::Action::Refuse:
      WriteText(stderr, "pelorin-logger: " + parsed.text + "\n");
      return 2;
    case ParsedArguments::Action::Run:
      break;
  }
  const LoggerOptions& options = parsed.options;
  // On a terminal the rows are shown, with the events above them; elsewhere
  // (a service) each event is a line on stderr. The terminal outlives the view.
  const InteractiveTerminal terminal(options.quiet ? nullptr : stdout);
  std::unique_ptr<TerminalView> view;
  if (terminal.ready()) {
    view = std::make_unique<TerminalView>(options.rowNames,
                                          [](std::string_view text) { WriteText(stdout, text); });
  }
  LoggerRun::Say say = [&](std::string_view line, bool failure) {
    if (options.quiet && !failure) return;
    if (view) {
      view->Event(Stamped(line));
    } else {
      WriteText(stderr, Stamped(line) + "\n");
    }
  };
  LoggerRun::Show show;
  if (view) {
    show = [&](const pelorin::RowValues::Snapshot& rows, std::string_view status,
               std::string_view time) { view->Show(rows, status, time); };
  }
  // The run starts no thread before Run, and the watch ends before the run.
  LoggerRun run(options, say, {}, show);
  StopSignals signals([&run] { run.RequestStop(); }, [&run] { run.RequestReopen(); });
  return run.Run();
}
