#include "logger_options.h"

#include "cp932_encoder.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <iterator>
#include <string_view>

namespace pelorin::logger {

namespace {

// The header's row names hold what the window's row-name edits allow.
constexpr size_t kRowNameBytes = 16;

// The line speeds that every serial driver offers.
constexpr int kSpeeds[] = {1200,  2400,  4800,   9600,   19200,  38400,
                           57600, 115200, 230400, 460800, 921600};

std::optional<int> WholeNumber(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// An empty string when the options hang together, else what is wrong.
std::string CheckTcp(const std::string& endpoint, LoggerOptions* options) {
  const size_t colon = endpoint.rfind(':');
  if (colon == std::string::npos || colon == 0) return "--tcp: expected HOST:PORT, got \"" + endpoint + "\"";
  const std::optional<int> port = WholeNumber(std::string_view(endpoint).substr(colon + 1));
  if (!port || *port < 1 || *port > 65535) return "--tcp: the port must be a number from 1 to 65535";
  options->useTcp = true;
  options->host = endpoint.substr(0, colon);
  options->port = std::to_string(*port);
  return {};
}

std::string CheckRowNames(const std::string& list, LoggerOptions* options) {
  std::array<std::string, 5> names;
  size_t count = 0;
  size_t start = 0;
  for (;;) {
    const size_t comma = list.find(',', start);
    if (count == names.size()) return "--names: expected five names separated by commas";
    names[count++] = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (count != names.size()) return "--names: expected five names separated by commas";
  Cp932Encoder encoder;
  for (const std::string& name : names) {
    const std::optional<size_t> bytes = encoder.EncodedLength(name);
    if (!bytes) return "--names: \"" + name + "\" holds a character that Shift-JIS (code page 932) cannot";
    if (*bytes > kRowNameBytes) return "--names: \"" + name + "\" is longer than 16 Shift-JIS bytes";
  }
  options->rowNames = names;
  return {};
}

}  // namespace

ParsedArguments ParseArguments(int argc, const char* const* argv, const std::string& versionText) {
  ParsedArguments parsed;
  LoggerOptions& options = parsed.options;
  std::string tcp, names;
  int speed = 0;

  CLI::App app("Logs every node report of a Pelorin gateway to a CSV file, unattended.",
               "pelorin-logger");
  app.set_version_flag("--version", versionText);
  auto* tcpOption = app.add_option("--tcp", tcp, "the gateway's LAN side")->type_name("HOST:PORT");
  auto* serialOption = app.add_option("--serial", options.serialDevice,
                                      "the gateway's USB side: a device path, or COMn on Windows")
                           ->type_name("DEVICE");
  tcpOption->excludes(serialOption);
  auto* speedOption = app.add_option("--speed", speed, "the serial line's speed (8N1)")
                          ->type_name("BAUD")
                          ->needs(serialOption);
  app.add_option("--csv", options.csvPath, "the log file (Shift-JIS, CR LF)")
      ->type_name("PATH")
      ->required();
  auto* namesOption =
      app.add_option("--names", names, "the header's five row names, separated by commas")
          ->type_name("NAMES");
  auto* dailyOption =
      app.add_flag("--daily", options.daily, "one file per local day, dated before the extension");
  app.add_option("--keep-days", options.keepDays,
                 "with --daily: remove day files more than N days old at each new day")
      ->type_name("N")
      ->check(CLI::Range(1, 36500))
      ->needs(dailyOption);
  app.add_option("--silence", options.silenceSeconds,
                 "seconds without a frame after which the gateway counts as lost (default 60)")
      ->type_name("SECONDS")
      ->check(CLI::Range(1, 86400));
  app.add_flag("--quiet", options.quiet, "no display and no event lines, only failures");
  // A service reads its options from a file of lines such as tcp=HOST:PORT or
  // names="入力 1,…": the options' own names, and a file that the shell reads too.
  app.set_config("--config", "", "read options from FILE, one name=value a line")
      ->type_name("FILE");
  app.allow_config_extras(CLI::config_extras_mode::error);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    parsed.action = ParsedArguments::Action::PrintAndExit;
    parsed.text = app.help();
    return parsed;
  } catch (const CLI::CallForVersion&) {
    parsed.action = ParsedArguments::Action::PrintAndExit;
    parsed.text = versionText + "\n";
    return parsed;
  } catch (const CLI::ParseError& error) {
    parsed.text = error.what();
    return parsed;
  }

  std::string problem;
  if (tcp.empty() && options.serialDevice.empty()) {
    problem = "one of --tcp HOST:PORT or --serial DEVICE is required";
  } else if (!tcp.empty()) {
    problem = CheckTcp(tcp, &options);
  }
  if (problem.empty() && speedOption->count() > 0) {
    if (std::find(std::begin(kSpeeds), std::end(kSpeeds), speed) == std::end(kSpeeds)) {
      problem = "--speed: " + std::to_string(speed) + " is not a serial line speed";
    } else {
      options.speed = speed;
    }
  }
  if (problem.empty() && namesOption->count() > 0) problem = CheckRowNames(names, &options);
  if (!problem.empty()) {
    parsed.text = problem;
    return parsed;
  }
  parsed.action = ParsedArguments::Action::Run;
  return parsed;
}

}  // namespace pelorin::logger
