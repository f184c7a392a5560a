#include "mqtt_options.h"

#include "gateway_topic_name.h"
#include "mqtt_publisher.h"
#include "small_file.h"
#include "system_message.h"

#include <algorithm>
#include <string_view>

namespace pelorin::logger {

namespace {

// The reports kept while the broker is away take some 200 bytes each.
constexpr size_t kLargestQueue = 1000000;
// A password is a line; a key or a certificate file is far smaller than this.
constexpr size_t kLargestPasswordFile = 4096;
constexpr size_t kLargestKeyFile = 1 << 20;

bool Given(const CLI::App& app, const char* name) { return app.get_option_no_throw(name)->count() > 0; }

// A topic to publish under: levels separated by '/', none of them empty,
// without the wildcards that only a subscription may hold.
std::string TopicProblem(std::string_view option, const std::string& topic) {
  const std::string what = std::string(option) + ": \"" + topic + "\" ";
  if (topic.empty()) return std::string(option) + ": the topic is empty";
  if (topic.find_first_of("+#") != std::string::npos) {
    return what + "holds + or #, which only a subscription may";
  }
  if (std::any_of(topic.begin(), topic.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
    return what + "holds a control character";
  }
  if (topic.front() == '/' || topic.back() == '/' || topic.find("//") != std::string::npos) {
    return what + "has an empty level";
  }
  if (topic.front() == '$') return what + "starts with $, which marks the broker's own topics";
  return {};
}

// mqtt://HOST[:PORT] or mqtts://HOST[:PORT]; an IPv6 address in brackets.
std::string TakeUrl(const std::string& url, mqtt::MqttSettings* settings) {
  const std::string expected =
      "--mqtt: expected mqtt://HOST[:PORT] or mqtts://HOST[:PORT], got \"" + url + "\"";
  std::string_view rest = url;
  if (rest.starts_with("mqtts://")) {
    settings->tls = true;
    settings->port = 8883;
    rest.remove_prefix(8);
  } else if (rest.starts_with("mqtt://")) {
    settings->tls = false;
    settings->port = 1883;
    rest.remove_prefix(7);
  } else {
    return expected;
  }
  if (rest.find('@') != std::string_view::npos) {
    return "--mqtt: give the user with --mqtt-user and the password in --mqtt-password-file, "
           "not in the URL";
  }
  if (rest.ends_with('/')) rest.remove_suffix(1);
  if (rest.find_first_of("/?") != std::string_view::npos) return expected;
  std::string_view port;
  if (rest.starts_with('[')) {
    const size_t close = rest.find(']');
    if (close == std::string_view::npos) return expected;
    settings->host = std::string(rest.substr(1, close - 1));
    rest.remove_prefix(close + 1);
    if (!rest.empty() && !rest.starts_with(':')) return expected;
    if (!rest.empty()) port = rest.substr(1);
  } else {
    if (std::count(rest.begin(), rest.end(), ':') > 1) {
      return "--mqtt: put an IPv6 address in brackets, as in mqtt://[::1]:1883";
    }
    const size_t colon = rest.find(':');
    settings->host = std::string(rest.substr(0, colon));
    if (colon != std::string_view::npos) port = rest.substr(colon + 1);
  }
  if (settings->host.empty()) return expected;
  if (port.data() != nullptr) {
    const std::optional<int> number = PortNumber(port);
    if (!number) return "--mqtt: the port must be a number from 1 to 65535";
    settings->port = *number;
  }
  return {};
}

std::string ReadPassword(const std::string& path, std::string* password) {
  std::string text;
  if (const int32_t error = ReadSmallFile(path, kLargestPasswordFile, &text); error != 0) {
    return "--mqtt-password-file: cannot read " + path + ": " + SystemMessage(error);
  }
  if (text.size() > kLargestPasswordFile) {
    return "--mqtt-password-file: " + path + " is larger than 4 KiB; the password is its first line";
  }
  text = text.substr(0, text.find('\n'));
  if (text.ends_with('\r')) text.pop_back();
  if (text.empty()) return "--mqtt-password-file: " + path + " is empty; the password is its first line";
  *password = std::move(text);
  return {};
}

std::string CheckReadable(std::string_view option, const std::string& path) {
  std::string text;
  if (path.empty()) return std::string(option) + ": the path is empty";
  if (const int32_t error = ReadSmallFile(path, kLargestKeyFile, &text); error != 0) {
    return std::string(option) + ": cannot read " + path + ": " + SystemMessage(error);
  }
  return {};
}

std::string CheckTls(const CLI::App& app, const mqtt::MqttSettings& settings) {
  const bool cert = Given(app, "--mqtt-cert");
  const bool key = Given(app, "--mqtt-key");
  if ((Given(app, "--mqtt-ca") || cert || key) && !settings.tls) {
    return "--mqtt-ca, --mqtt-cert and --mqtt-key need an mqtts:// URL";
  }
  if (cert != key) return "--mqtt-cert and --mqtt-key go together: the client's certificate and its key";
  const std::pair<const char*, const std::string*> files[] = {
      {"--mqtt-ca", &settings.caFile}, {"--mqtt-cert", &settings.certFile}, {"--mqtt-key", &settings.keyFile}};
  for (const auto& [option, path] : files) {
    if (!Given(app, option)) continue;
    if (std::string problem = CheckReadable(option, *path); !problem.empty()) return problem;
  }
  return {};
}

}  // namespace

void AddMqttOptions(CLI::App& app, MqttArguments* arguments) {
  mqtt::MqttSettings& settings = arguments->settings;
  app.add_option("--mqtt", arguments->url, "also publish every report to this MQTT broker")
      ->type_name("mqtt[s]://HOST[:PORT]");
  app.add_option("--mqtt-topic", arguments->topic, "the topics' prefix (default pelorin/GATEWAY)")
      ->type_name("PREFIX");
  app.add_option("--mqtt-user", settings.user, "the user name to log in to the broker with")
      ->type_name("NAME");
  app.add_option("--mqtt-password-file", arguments->passwordFile,
                 "the file whose first line is the password")
      ->type_name("FILE");
  app.add_option("--mqtt-ca", settings.caFile, "with mqtts: the CA certificate of the broker's")
      ->type_name("FILE");
  app.add_option("--mqtt-cert", settings.certFile, "with mqtts: the client's certificate")
      ->type_name("FILE");
  app.add_option("--mqtt-key", settings.keyFile, "with mqtts: the client certificate's key")
      ->type_name("FILE");
  app.add_option("--mqtt-qos", settings.qos, "the reports' QoS, 0 or 1 (default 0)")
      ->type_name("0|1")
      ->check(CLI::Range(0, 1));
  app.add_option("--mqtt-queue", settings.queue,
                 "reports kept while the broker is away (default 10000)")
      ->type_name("N")
      ->check(CLI::Range(size_t{1}, kLargestQueue));
  app.add_option("--mqtt-discovery", arguments->discovery,
                 "Home Assistant discovery, under PREFIX (default homeassistant)")
      ->type_name("[PREFIX]")
      ->expected(0, 1);
}

std::string CheckMqtt(const CLI::App& app, MqttArguments& arguments, LoggerOptions* options) {
  if (!Given(app, "--mqtt")) {
    for (const CLI::Option* option : app.get_options()) {
      const std::string name = option->get_name();
      if (name.starts_with("--mqtt-") && option->count() > 0) return name + " needs --mqtt";
    }
    return {};
  }
  if (!mqtt::MqttBuilt()) return "--mqtt: this build has no MQTT; publish from a Linux build";
  mqtt::MqttSettings& settings = arguments.settings;
  if (std::string problem = TakeUrl(arguments.url, &settings); !problem.empty()) return problem;
  settings.topicPrefix =
      Given(app, "--mqtt-topic") ? arguments.topic
      : options->useTcp ? "pelorin/" + mqtt::TcpGatewayTopicName(options->host, options->port)
                        : "pelorin/" + mqtt::SerialGatewayTopicName(options->serialDevice);
  if (std::string problem = TopicProblem("--mqtt-topic", settings.topicPrefix); !problem.empty()) {
    return problem;
  }
  // An options file may say discovery=true or =false, as it does for flags.
  if (Given(app, "--mqtt-discovery") && arguments.discovery != "false") {
    const bool byDefault = arguments.discovery.empty() || arguments.discovery == "true";
    settings.discoveryPrefix = byDefault ? "homeassistant" : arguments.discovery;
    if (std::string problem = TopicProblem("--mqtt-discovery", *settings.discoveryPrefix);
        !problem.empty()) {
      return problem;
    }
  }
  if (Given(app, "--mqtt-password-file")) {
    if (!Given(app, "--mqtt-user")) return "--mqtt-password-file needs --mqtt-user";
    if (std::string problem = ReadPassword(arguments.passwordFile, &settings.password);
        !problem.empty()) {
      return problem;
    }
  }
  if (std::string problem = CheckTls(app, settings); !problem.empty()) return problem;
  options->mqtt = settings;
  return {};
}

}  // namespace pelorin::logger
