#include "logger_options.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace pelorin::logger {
namespace {

ParsedArguments Parse(std::vector<const char*> arguments) {
  arguments.insert(arguments.begin(), "pelorin-logger");
  return ParseArguments(static_cast<int>(arguments.size()), arguments.data(), "Version 1.01");
}

// Each mistake is refused in one line that names what is wrong.
TEST(LoggerArguments, MistakesAreRefusedInOneLine) {
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
  };
  for (const auto& c : cases) {
    const ParsedArguments parsed = Parse(c.arguments);
    EXPECT_EQ(parsed.action, ParsedArguments::Action::Refuse) << c.says;
    EXPECT_NE(parsed.text.find(c.says), std::string::npos) << parsed.text;
    EXPECT_EQ(parsed.text.find('\n'), std::string::npos) << parsed.text;
  }
}

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

  parsed = Parse({"--serial", "/dev/serial/by-id/usb-gw", "--speed", "115200", "--names",
                  "温度,,湿度,電圧,電流", "--daily", "--silence", "5", "--quiet", "--csv", "x.csv"});
  ASSERT_EQ(parsed.action, ParsedArguments::Action::Run) << parsed.text;
  EXPECT_FALSE(parsed.options.useTcp);
  EXPECT_EQ(parsed.options.serialDevice, "/dev/serial/by-id/usb-gw");
  EXPECT_EQ(parsed.options.speed, 115200);
  EXPECT_EQ(parsed.options.rowNames[0], "温度");
  EXPECT_EQ(parsed.options.rowNames[1], "");
  EXPECT_TRUE(parsed.options.daily);
  EXPECT_EQ(parsed.options.silenceSeconds, 5);
  EXPECT_TRUE(parsed.options.quiet);
}

// A service's options come from a file that the shell could read too; what
// the file gets wrong is refused like a mistake on the command line.
TEST(LoggerArguments, AServiceReadsItsOptionsFromAFile) {
  const std::string path = ::testing::TempDir() + "pelorin-logger-options";
  const auto parseFile = [&](const char* text) {
    std::ofstream(path, std::ios::binary) << text;
    return Parse({"--config", path.c_str()});
  };
  ParsedArguments parsed = parseFile(
      "# the lab's gateway\n"
      "tcp=127.0.0.1:10003\n"
      "csv=/var/lib/pelorin-logger/lab/log.csv\n"
      "names=\"温度 1,湿度,,電圧,電流\"\n"
      "daily=true\n");
  ASSERT_EQ(parsed.action, ParsedArguments::Action::Run) << parsed.text;
  EXPECT_EQ(parsed.options.host, "127.0.0.1");
  EXPECT_EQ(parsed.options.csvPath, "/var/lib/pelorin-logger/lab/log.csv");
  EXPECT_EQ(parsed.options.rowNames[0], "温度 1");
  EXPECT_EQ(parsed.options.rowNames[4], "電流");
  EXPECT_TRUE(parsed.options.daily);

  parsed = parseFile("tcp=gw:1\ncsv=a.csv\nspede=9600\n");
  EXPECT_EQ(parsed.action, ParsedArguments::Action::Refuse);
  EXPECT_NE(parsed.text.find("spede"), std::string::npos) << parsed.text;
  std::remove(path.c_str());
  parsed = Parse({"--config", path.c_str()});
  EXPECT_EQ(parsed.action, ParsedArguments::Action::Refuse);
  EXPECT_NE(parsed.text.find(path), std::string::npos) << parsed.text;
}

TEST(LoggerArguments, HelpAndVersionArePrintedWithoutStarting) {
  ParsedArguments parsed = Parse({"--help"});
  EXPECT_EQ(parsed.action, ParsedArguments::Action::PrintAndExit);
  EXPECT_NE(parsed.text.find("--serial DEVICE"), std::string::npos) << parsed.text;
  parsed = Parse({"--version"});
  EXPECT_EQ(parsed.action, ParsedArguments::Action::PrintAndExit);
  EXPECT_EQ(parsed.text, "Version 1.01\n");
}

}  // namespace
}  // namespace pelorin::logger
