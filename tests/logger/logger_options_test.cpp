#include "failure_text.h"
#include "logger_options.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <netdb.h>
#endif

namespace pelorin::logger {
namespace {

std::u8string Utf8(const std::string& text) { return {text.begin(), text.end()}; }

ParsedArguments Parse(std::vector<const char*> arguments) {
  arguments.insert(arguments.begin(), "pelorin-logger");
  return ParseArguments(static_cast<int>(arguments.size()), arguments.data(), "Version 1.01");
}

// A path under a folder named in Japanese: Windows opens it only through its
// wide calls.
std::string JapaneseTempPath(const std::string& name) {
  const std::string folder = ::testing::TempDir() + "設定";
  std::filesystem::create_directories(std::filesystem::path(Utf8(folder)));
  return folder + "/" + name;
}

// Each mistake is refused in one line that names what is wrong.
TEST(LoggerArguments, MistakesAreRefusedInOneLine) {
  const std::string regularFile = JapaneseTempPath("not-a-device");
  std::ofstream(std::filesystem::path(Utf8(regularFile))) << "x";
  const struct {
    std::vector<const char*> arguments;
    std::string says;
  } cases[] = {
      {{}, "--csv"},
      {{"--csv", "a.csv"}, "--tcp HOST:PORT or --serial DEVICE"},
      {{"--tcp", "gw:1", "--serial", "/dev/ttyUSB0", "--csv", "a.csv"}, "--serial"},
      {{"--tcp", "gw", "--csv", "a.csv"}, "HOST:PORT"},
      {{"--tcp", ":10003", "--csv", "a.csv"}, "HOST:PORT"},
      {{"--tcp", "gw:0", "--csv", "a.csv"}, "1 to 65535"},
      {{"--tcp", "gw:65536", "--csv", "a.csv"}, "1 to 65535"},
      {{"--tcp", "gw:http", "--csv", "a.csv"}, "1 to 65535"},
      {{"--tcp", "gw:1", "--speed", "9600", "--csv", "a.csv"}, "--serial"},
      {{"--serial", "COM3", "--speed", "9601", "--csv", "a.csv"}, "not a serial line speed"},
      {{"--tcp", "gw:1", "--names", "a,b,c", "--csv", "a.csv"}, "five names"},
      {{"--tcp", "gw:1", "--names", "a,b,c,d,e,f", "--csv", "a.csv"}, "five names"},
      {{"--tcp", "gw:1", "--names", "a,b,\xF0\x9F\x98\x80,d,e", "--csv", "a.csv"}, "cannot"},
      // Nine kanji are 18 Shift-JIS bytes.
      {{"--tcp", "gw:1", "--names", "a,一二三四五六七八九,c,d,e", "--csv", "a.csv"}, "16"},
      {{"--tcp", "gw:1", "--silence", "0", "--csv", "a.csv"}, "--silence"},
      {{"--tcp", "gw:1", "--csv", "a.csv", "--frobnicate"}, "--frobnicate"},
      {{"--tcp", "gw:1", "--csv", ""}, "--csv: the path is empty"},
      {{"--tcp", "[::1]:10003", "--csv", "a.csv"}, "IPv6 is not supported"},
      {{"--tcp", "::1:10003", "--csv", "a.csv"}, "IPv6 is not supported"},
      {{"--tcp", "fe80::1%eth0:10003", "--csv", "a.csv"}, "IPv6 is not supported"},
      // A line break in a name would split the CSV header's line.
      {{"--tcp", "gw:1", "--names", "a,b\nc,d,e,f", "--csv", "a.csv"}, "name 2 holds a line break"},
      {{"--tcp", "gw:1", "--names", "a,b,c\r,d,e", "--csv", "a.csv"}, "name 3 holds a line break"},
      {{"--tcp", "gw:1", "--names", "a,b,c,\"d\",e", "--csv", "a.csv"}, "double quote"},
      // A device that is there must be a serial one (Windows: a COM port).
      {{"--serial", "/dev/null", "--csv", "a.csv"}, "/dev/null is no serial"},
      {{"--serial", regularFile.c_str(), "--csv", "a.csv"}, "is no serial"},
  };
  for (const auto& c : cases) {
    const ParsedArguments parsed = Parse(c.arguments);
    EXPECT_EQ(parsed.action, ParsedArguments::Action::Refuse) << c.says;
    EXPECT_NE(parsed.text.find(c.says), std::string::npos) << parsed.text;
    EXPECT_EQ(parsed.text.find('\n'), std::string::npos) << parsed.text;
  }
}

// A serial device that is not plugged in yet is waited for.
#if defined(_WIN32)
constexpr const char* kAbsentSerialPort = "COM9";
#else
constexpr const char* kAbsentSerialPort = "/dev/serial/by-id/usb-gw";
#endif

TEST(LoggerArguments, GatewayLogAndOptionsAreTaken) {
  ParsedArguments parsed = Parse({"--tcp", "gw.local:10003", "--csv", "log.csv"});
  ASSERT_EQ(parsed.action, ParsedArguments::Action::Run) << parsed.text;
  EXPECT_TRUE(parsed.options.useTcp);
  EXPECT_EQ(parsed.options.host, "gw.local");
  EXPECT_EQ(parsed.options.port, "10003");
  EXPECT_EQ(parsed.options.csvPath, "log.csv");
  EXPECT_EQ(parsed.options.rowNames[4], "入力 5");
  EXPECT_EQ(parsed.options.silenceSeconds, 60);
  EXPECT_FALSE(parsed.options.speed);

  parsed = Parse({"--serial", kAbsentSerialPort, "--speed", "115200", "--names",
                  "温度,,湿度,電圧,電流", "--daily", "--silence", "5", "--quiet", "--csv", "x.csv"});
  ASSERT_EQ(parsed.action, ParsedArguments::Action::Run) << parsed.text;
  EXPECT_FALSE(parsed.options.useTcp);
  EXPECT_EQ(parsed.options.serialDevice, kAbsentSerialPort);
  EXPECT_EQ(parsed.options.speed, 115200);
  EXPECT_EQ(parsed.options.rowNames[0], "温度");
  EXPECT_EQ(parsed.options.rowNames[1], "");
  EXPECT_TRUE(parsed.options.daily);
  EXPECT_EQ(parsed.options.silenceSeconds, 5);
  EXPECT_TRUE(parsed.options.quiet);
}

// A service's options come from a file that the shell could read too, in a
// folder of any name; what the file gets wrong is refused in one line that
// names the file and the line.
TEST(LoggerArguments, AServiceReadsItsOptionsFromAFile) {
  const std::string path = JapaneseTempPath("pelorin-logger-options");
  const auto parseFile = [&](const char* text, std::vector<const char*> more = {}) {
    std::ofstream(std::filesystem::path(Utf8(path)), std::ios::binary) << text;
    more.insert(more.begin(), {"--config", path.c_str()});
    return Parse(more);
  };
  ParsedArguments parsed = parseFile(
      "# the lab's gateway\n"
      "tcp=127.0.0.1:10003\n"
      "csv=/var/lib/pelorin-logger/lab/log.csv\n"
      "names=\"温度 #1,湿度,,電圧,電流\"  # a comment after the value\n"
      "daily=true\n");
  ASSERT_EQ(parsed.action, ParsedArguments::Action::Run) << parsed.text;
  EXPECT_EQ(parsed.options.host, "127.0.0.1");
  EXPECT_EQ(parsed.options.csvPath, "/var/lib/pelorin-logger/lab/log.csv");
  EXPECT_EQ(parsed.options.rowNames[0], "温度 #1");
  EXPECT_EQ(parsed.options.rowNames[4], "電流");
  EXPECT_TRUE(parsed.options.daily);

  // As a Windows editor saves it: a byte order mark and CR LF; names
  // without quotes; the command line wins over the file.
  parsed = parseFile("\xEF\xBB\xBFtcp=gw:1\r\ncsv=a.csv\r\nnames=温度,湿度,電圧,電流,風速\r\nquiet=false\r\n",
                     {"--tcp", "127.0.0.2:10003", "--quiet"});
  ASSERT_EQ(parsed.action, ParsedArguments::Action::Run) << parsed.text;
  EXPECT_EQ(parsed.options.host, "127.0.0.2");
  EXPECT_EQ(parsed.options.rowNames[4], "風速");
  EXPECT_TRUE(parsed.options.quiet);

  const struct {
    const char* text;
    std::string says;
  } mistakes[] = {
      {"tcp=gw:1\ncsv=a.csv\nspede=9600\n", ":3: no option is named spede"},
      {"tcp=gw:1\n\ncsv a.csv\n", ":3: expected name=value"},
      {"tcp=gw:1\ncsv=\"a.csv\n", ":2: the double quote is not closed"},
      {"tcp=gw:1\ncsv=my log.csv\n", ":2: a value with spaces must be in double quotes"},
      {"tcp=gw:1\ncsv=a.csv\ntcp=gw:2\n", ":3: tcp is given twice (first on line 1)"},
      {"tcp=gw:1\ncsv=a.csv\nsilence=0\n", ":3: --silence"},
      {"tcp=gw:1\ncsv=a.csv\nconfig=other\n", ":3: no option is named config"},
      {"tcp=gw:1\ncsv=\n", "--csv: the path is empty"},
  };
  for (const auto& mistake : mistakes) {
    parsed = parseFile(mistake.text);
    // A line's problem starts with the file and the line's number.
    const std::string says = mistake.says.starts_with(':') ? path + mistake.says : mistake.says;
    EXPECT_EQ(parsed.action, ParsedArguments::Action::Refuse) << says;
    EXPECT_NE(parsed.text.find(says), std::string::npos) << parsed.text;
    EXPECT_EQ(parsed.text.find('\n'), std::string::npos) << parsed.text;
  }

  std::filesystem::remove(std::filesystem::path(Utf8(path)));
  parsed = Parse({"--config", path.c_str()});
  EXPECT_EQ(parsed.action, ParsedArguments::Action::Refuse);
  EXPECT_NE(parsed.text.find(path), std::string::npos) << parsed.text;
}

// The broker's options, from a service's options file and the command line;
// a password never comes from the command line, and a build without MQTT
// says so.
TEST(LoggerArguments, MqttPublishingIsTakenOrRefusedInOneLine) {
  const std::string secret = JapaneseTempPath("mqtt-password");
  std::ofstream(std::filesystem::path(Utf8(secret)), std::ios::binary) << "s3cret #1\r\nnot this\n";
  const std::string empty = JapaneseTempPath("mqtt-empty");
  std::ofstream(std::filesystem::path(Utf8(empty)), std::ios::binary) << "\n";
  const std::string options = JapaneseTempPath("mqtt-options");
  std::ofstream(std::filesystem::path(Utf8(options)), std::ios::binary)
      << "tcp=127.0.0.1:10003\nmqtt=mqtts://127.0.0.1:8884/\nmqtt_user=site\n"
      << "mqtt_password_file=\"" << secret << "\"\nmqtt_ca=\"" << secret << "\"\n"
      << "mqtt_qos=1\nmqtt_queue=500\nmqtt_discovery\n";
  ParsedArguments parsed = Parse({"--config", options.c_str()});
#if defined(_WIN32)
  EXPECT_EQ(parsed.action, ParsedArguments::Action::Refuse);
  EXPECT_NE(parsed.text.find("this build has no MQTT"), std::string::npos) << parsed.text;
#else
  ASSERT_EQ(parsed.action, ParsedArguments::Action::Run) << parsed.text;
  ASSERT_TRUE(parsed.options.mqtt);
  const mqtt::MqttSettings& settings = *parsed.options.mqtt;
  EXPECT_TRUE(parsed.options.csvPath.empty());
  EXPECT_TRUE(settings.tls);
  EXPECT_EQ(settings.host, "127.0.0.1");
  EXPECT_EQ(settings.port, 8884);
  EXPECT_EQ(settings.topicPrefix, "pelorin/127.0.0.1_10003");
  EXPECT_EQ(settings.user, "site");
  EXPECT_EQ(settings.password, "s3cret #1");
  EXPECT_EQ(settings.qos, 1);
  EXPECT_EQ(settings.queue, 500u);
  EXPECT_EQ(settings.discoveryPrefix, "homeassistant");

  parsed = Parse({"--tcp", "127.0.0.1:1", "--mqtt", "mqtt://[::1]", "--mqtt-topic", "site/hall 2",
                  "--mqtt-discovery", "ha"});
  ASSERT_EQ(parsed.action, ParsedArguments::Action::Run) << parsed.text;
  EXPECT_EQ(parsed.options.mqtt->host, "::1");
  EXPECT_EQ(parsed.options.mqtt->port, 1883);
  EXPECT_EQ(parsed.options.mqtt->topicPrefix, "site/hall 2");
  EXPECT_EQ(parsed.options.mqtt->discoveryPrefix, "ha");
  parsed = Parse({"--tcp", "127.0.0.1:1", "--mqtt", "mqtt://127.0.0.1", "--mqtt-discovery", "false"});
  EXPECT_FALSE(parsed.options.mqtt->discoveryPrefix);

  const struct {
    std::vector<const char*> arguments;
    std::string says;
  } mistakes[] = {
      {{"--mqtt-user", "site", "--csv", "a.csv"}, "--mqtt-user needs --mqtt"},
      {{"--mqtt", "http://127.0.0.1"}, "expected mqtt://HOST[:PORT]"},
      {{"--mqtt", "mqtt://site:pw@127.0.0.1"}, "not in the URL"},
      {{"--mqtt", "mqtt://127.0.0.1:0"}, "1 to 65535"},
      {{"--mqtt", "mqtt://::1:1883"}, "in brackets"},
      {{"--mqtt", "mqtt://127.0.0.1/a"}, "expected mqtt://HOST[:PORT]"},
      {{"--mqtt", "mqtt://127.0.0.1", "--mqtt-topic", "site/#"}, "only a subscription"},
      {{"--mqtt", "mqtt://127.0.0.1", "--mqtt-topic", "site//a"}, "empty level"},
      {{"--mqtt", "mqtt://127.0.0.1", "--mqtt-discovery", "$SYS"}, "broker's own"},
      {{"--mqtt", "mqtt://127.0.0.1", "--mqtt-password-file", secret.c_str()}, "needs --mqtt-user"},
      {{"--mqtt", "mqtt://127.0.0.1", "--mqtt-user", "u", "--mqtt-password-file", empty.c_str()},
       "is empty"},
      {{"--mqtt", "mqtt://127.0.0.1", "--mqtt-ca", secret.c_str()}, "need an mqtts:// URL"},
      {{"--mqtt", "mqtts://127.0.0.1", "--mqtt-cert", secret.c_str()}, "go together"},
      {{"--mqtt", "mqtts://127.0.0.1", "--mqtt-ca", "absent.pem"}, "cannot read absent.pem"},
      {{"--mqtt", "mqtt://127.0.0.1", "--mqtt-qos", "2"}, "--mqtt-qos"},
      {{"--mqtt", "mqtt://127.0.0.1", "--daily"}, "--daily needs --csv"},
  };
  for (const auto& mistake : mistakes) {
    std::vector<const char*> arguments = mistake.arguments;
    arguments.insert(arguments.begin(), {"--tcp", "127.0.0.1:1"});
    parsed = Parse(arguments);
    EXPECT_EQ(parsed.action, ParsedArguments::Action::Refuse) << mistake.says;
    EXPECT_NE(parsed.text.find(mistake.says), std::string::npos) << parsed.text;
  }
#endif
}

TEST(LoggerArguments, HelpAndVersionArePrintedWithoutStarting) {
  ParsedArguments parsed = Parse({"--help"});
  EXPECT_EQ(parsed.action, ParsedArguments::Action::PrintAndExit);
  EXPECT_NE(parsed.text.find("--serial DEVICE"), std::string::npos) << parsed.text;
  parsed = Parse({"--version"});
  EXPECT_EQ(parsed.action, ParsedArguments::Action::PrintAndExit);
  EXPECT_EQ(parsed.text, "Version 1.01\n");
}

// The operator reads words: the resolver's own, and the log file's in what
// they mean for a log, never a bare number.
TEST(LoggerFailureText, FailuresAreToldInWords) {
  const struct {
    std::string text;
    std::string says;
  } cases[] = {
      {DescribeLogFailure(ETIMEDOUT), ": the file system did not answer within 2 s"},
      {DescribeLogFailure(EAGAIN), ": another program holds the file"},
      // The log's codes are errno on Windows too, not Windows errors.
      {DescribeLogFailure(ENOSPC), ": No space left on device"},
#if !defined(_WIN32)
      // Windows has words for the resolver's codes among its own.
      {DescribeFailure(EAI_NONAME), "error -2: Name or service not known"},
#endif
  };
  for (const auto& c : cases) EXPECT_NE(c.text.find(c.says), std::string::npos) << c.text;
}

}  // namespace
}  // namespace pelorin::logger
