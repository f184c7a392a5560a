#include "logger_options.h"

#include "config_file.h"
#include "cp932_encoder.h"
#include "mqtt_options.h"
#include "serial_device_check.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <iterator>
#include <string_view>
#include <vector>

namespace pelorin::logger {

namespace {

// The header's row names hold what the window's row-name edits allow.
constexpr size_t kRowNameBytes = 16;

// The line speeds that every serial driver offers.
constexpr int kSpeeds[] = {1200,  2400,  4800,   9600,   19200,  38400,
                           57600, 115200, 230400, 460800, 921600};

// The link speaks IPv4 only: an IPv6 address is refused as such, rather than
// cut at its last colon into a host and a port that cannot be reached.
std::string CheckTcp(const std::string& endpoint, LoggerOptions* options) {
  if (endpoint.starts_with('[') || std::count(endpoint.begin(), endpoint.end(), ':') > 1) {
    return "--tcp: " + endpoint +
           " is an IPv6 address, and IPv6 is not supported; give an IPv4 address or a host name";
  }
  const size_t colon = endpoint.rfind(':');
  if (colon == std::string::npos || colon == 0) return "--tcp: expected HOST:PORT, got \"" + endpoint + "\"";
  const std::optional<int> port = PortNumber(std::string_view(endpoint).substr(colon + 1));
  if (!port) return "--tcp: the port must be a number from 1 to 65535";
  options->useTcp = true;
  options->host = endpoint.substr(0, colon);
  options->port = std::to_string(*port);
  return {};
}

// A name is one field of the CSV header: the commas that separate the names
// never reach one, and a line break, another control character or a double
// quote would break the header's line or its fields.
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
  for (size_t row = 0; row < names.size(); ++row) {
    const std::string& name = names[row];
    const bool unfit = std::any_of(name.begin(), name.end(), [](char c) {
      return c == '"' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
    if (unfit) {
      return "--names: name " + std::to_string(row + 1) +
             " holds a line break, another control character or a double quote";
    }
    const std::optional<size_t> bytes = encoder.EncodedLength(name);
    if (!bytes) return "--names: \"" + name + "\" holds a character that Shift-JIS (code page 932) cannot";
    if (*bytes > kRowNameBytes) return "--names: \"" + name + "\" is longer than 16 Shift-JIS bytes";
  }
  options->rowNames = names;
  return {};
}

// The options file fills in what the command line left out: the command line
// wins. Each value goes through the option's own checks, as on the command
// line, and every problem names the file's line.
std::string TakeOptionsFile(CLI::App& app, const std::string& path) {
  if (path.empty()) return "--config: the path is empty";
  std::vector<ConfigSetting> settings;
  if (std::string problem = ReadConfigFile(path, &settings); !problem.empty()) return problem;
  for (const ConfigSetting& setting : settings) {
    const std::string where = path + ":" + std::to_string(setting.line) + ": ";
    CLI::Option* option = app.get_option_no_throw("--" + setting.name);
    const bool settable = setting.name != "config" && setting.name != "help" && setting.name != "version";
    if (option == nullptr || !settable) return where + "no option is named " + setting.name;
    const bool flag = option->get_expected_max() == 0;
    const bool valueOptional = option->get_expected_min() == 0;
    if (!setting.hasValue && !valueOptional) return where + "expected " + setting.name + "=VALUE";
    if (option->count() > 0) continue;
    try {
      if (setting.hasValue) {
        option->add_result(setting.value);
      } else if (flag) {
        option->add_result("true");
      } else {
        option->add_result(std::string{});  // given without its value
      }
      option->run_callback();
    } catch (const CLI::ParseError& error) {
      return where + error.what();
    }
  }
  return {};
}

bool Given(const CLI::Option* option) { return option->count() > 0; }
bool Given(const CLI::App& app, const char* name) { return Given(app.get_option_no_throw(name)); }

std::string CheckLogAndGateway(const CLI::App& app, const std::string& tcp, LoggerOptions* options) {
  const bool csv = Given(app, "--csv");
  if (!csv && !Given(app, "--mqtt")) {
    return "--csv PATH or --mqtt URL is required: the log file, the broker, or both";
  }
  if (csv && options->csvPath.empty()) return "--csv: the path is empty";
  if (!csv && (options->daily || Given(app, "--keep-days"))) return "--daily needs --csv";
  const bool viaTcp = Given(app, "--tcp");
  const bool viaSerial = Given(app, "--serial");
  if (viaTcp && viaSerial) return "--tcp and --serial exclude each other: give one gateway";
  if (viaTcp) return CheckTcp(tcp, options);
  if (!viaSerial) return "one of --tcp HOST:PORT or --serial DEVICE is required";
  if (options->serialDevice.empty()) return "--serial: the device is empty";
  return {};
}

std::string CheckSpeed(const CLI::App& app, int speed, LoggerOptions* options) {
  if (!Given(app, "--serial")) return "--speed needs --serial";
  if (std::find(std::begin(kSpeeds), std::end(kSpeeds), speed) == std::end(kSpeeds)) {
    return "--speed: " + std::to_string(speed) + " is not a serial line speed";
  }
  options->speed = speed;
  return {};
}

}  // namespace

std::optional<int> PortNumber(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > 65535) {
    return std::nullopt;
  }
  return value;
}

ParsedArguments ParseArguments(int argc, const char* const* argv, const std::string& versionText) {
  ParsedArguments parsed;
  LoggerOptions& options = parsed.options;
  std::string tcp, names, configPath;
  MqttArguments mqtt;
  int speed = 0;

  // Which options need or exclude which is checked below, once the options
  // file has filled in what the command line left out: CLI11's own checks
  // would see the command line alone.
  CLI::App app("Logs every node report of a Pelorin gateway to a CSV file or an MQTT broker, unattended.",
               "pelorin-logger");
  app.set_version_flag("--version", versionText);
  app.add_option("--tcp", tcp, "the gateway's LAN side (IPv4)")->type_name("HOST:PORT");
  app.add_option("--serial", options.serialDevice,
                 "the gateway's USB side: a device path, or COMn on Windows")
      ->type_name("DEVICE");
  app.add_option("--speed", speed, "with --serial: the serial line's speed (8N1)")
      ->type_name("BAUD");
  app.add_option("--csv", options.csvPath, "the log file (Shift-JIS, CR LF)")->type_name("PATH");
  app.add_option("--names", names, "the header's five row names, separated by commas")
      ->type_name("NAMES");
  app.add_flag("--daily", options.daily, "one file per local day, dated before the extension");
  app.add_option("--keep-days", options.keepDays,
                 "with --daily: remove day files more than N days old at each new day")
      ->type_name("N")
      ->check(CLI::Range(1, 36500));
  app.add_option("--silence", options.silenceSeconds,
                 "seconds without a frame after which the gateway counts as lost (default 60)")
      ->type_name("SECONDS")
      ->check(CLI::Range(1, 86400));
  app.add_flag("--quiet", options.quiet, "no display and no event lines, only failures");
  AddMqttOptions(app, &mqtt);
  // A service reads its options from a file that the shell reads too
  // (/etc/default/…): the options' own names, such as tcp=HOST:PORT.
  app.add_option("--config", configPath, "read options from FILE, one name=value a line")
      ->type_name("FILE");

  std::string problem;
  try {
    app.parse(argc, argv);
    if (Given(app, "--config")) problem = TakeOptionsFile(app, configPath);
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

  if (problem.empty()) problem = CheckLogAndGateway(app, tcp, &options);
  if (problem.empty() && Given(app, "--speed")) problem = CheckSpeed(app, speed, &options);
  if (problem.empty() && Given(app, "--names")) problem = CheckRowNames(names, &options);
  if (problem.empty() && Given(app, "--keep-days") && !options.daily) problem = "--keep-days needs --daily";
  if (problem.empty()) problem = CheckMqtt(app, mqtt, &options);
  // Last: it looks at the device itself.
  if (problem.empty() && Given(app, "--serial")) problem = SerialDeviceProblem(options.serialDevice);
  if (!problem.empty()) {
    parsed.text = problem;
    return parsed;
  }
  parsed.action = ParsedArguments::Action::Run;
  return parsed;
}

}  // namespace pelorin::logger
