#include "cp932_encoder.h"
#include "default_log_path.h"
#include "local_time.h"
#include "record_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <optional>
#include <string>

namespace pelorin {
namespace {

using test::LocalTime;

std::string Cp932(const std::string& utf8) {
  Cp932Encoder encoder;
  std::string bytes;
  encoder.Append(utf8, &bytes);
  return bytes;
}

// The worked example: node 26, KT-300, ID 3, inputs 1 0 1, 5 V and a broken wire.
NodeReport Example() {
  NodeReport report;
  report.timestamp = LocalTime(2026, 12, 6, 7, 19, 50);
  report.node = 26;
  report.id = 3;
  report.model = 3;
  report.digitalCount = 3;
  report.digital = {1, 0, 1, 0, 0};
  report.analogCount = 2;
  report.analog[0] = {2, 0x400000};
  report.analog[1] = {6, 0x7FFFFF};
  return report;
}

TEST(RecordLine, WorkedExampleIsExactInCodePage932) {
  const std::string expected =
      "2026/12/06,07:19:50,26,KT-300,3,1,,0,,1,, 5.0000,V,\x92\x66\x90\xFC,,";
  EXPECT_EQ(Cp932(FormatRecordLine(Example())), expected);
}

// Reports many times a second share a conversion of their second; each one
// still carries its own.
TEST(RecordLine, EachReportCarriesItsOwnSecond) {
  const struct {
    std::time_t when;
    const char* stamp;
  } cases[] = {
      {LocalTime(2026, 12, 6, 7, 19, 50), "2026/12/06,07:19:50,"},
      {LocalTime(2026, 12, 6, 7, 19, 50), "2026/12/06,07:19:50,"},
      {LocalTime(2026, 12, 6, 7, 19, 51), "2026/12/06,07:19:51,"},
      {LocalTime(2027, 1, 1, 0, 0, 0), "2027/01/01,00:00:00,"},
      {LocalTime(2026, 12, 6, 7, 19, 50), "2026/12/06,07:19:50,"},
  };
  NodeReport report = Example();
  for (const auto& c : cases) {
    report.timestamp = c.when;
    EXPECT_EQ(FormatRecordLine(report).substr(0, 20), c.stamp);
  }
}

TEST(RecordLine, PairsFollowTheReport) {
  NodeReport bare = Example();
  bare.digitalCount = 0;
  bare.analogCount = 0;

  NodeReport odd = Example();
  odd.digitalCount = 0;
  odd.analogCount = 4;
  odd.analog[0] = {2, 0x1000000};  // beyond 24 bits
  odd.analog[1] = {9, 0x000100};   // no such channel type
  odd.analog[2] = {6, 0x00FA00};
  odd.analog[3] = {2, 0x800000};  // only type 6 has a wire-break text

  NodeReport many = Example();
  many.model = 2;
  many.digitalCount = 5;
  many.digital = {1, 1, 0, 0, 1};
  many.analogCount = 3;
  many.analog[2] = {4, 0};

  const struct {
    const char* name;
    NodeReport report;
    std::string line;
  } cases[] = {
      {"no digital states and no analog records", bare, "2026/12/06,07:19:50,26,KT-300,3,"},
      {"values that show nothing, a temperature, a full scale", odd,
       "2026/12/06,07:19:50,26,KT-300,3,,,,,  25.00,\x81\x8E,-10.0000,V,"},
      {"more pairs than the header names", many,
       "2026/12/06,07:19:50,26,KT-200,3,1,,1,,0,,0,,1,, 5.0000,V,\x92\x66\x90\xFC,,  0.000,mA,"},
  };
  for (const auto& c : cases) EXPECT_EQ(Cp932(FormatRecordLine(c.report)), c.line) << c.name;
}

TEST(HeaderLine, NamesEachRowsPairOfFields) {
  RowNames names = {"入力 1", "入力 2", "入力 3", "入力 4", "入力 5"};
  EXPECT_EQ(FormatHeaderLine(names),
            "日付,時刻,ノード番号,機種,ID,入力 1,,入力 2,,入力 3,,入力 4,,入力 5,");
  EXPECT_EQ(Cp932("日付,時刻,ノード番号,機種,ID"),
            "\x93\xFA\x95\x74,\x8E\x9E\x8D\x8F,\x83\x6D\x81\x5B\x83\x68\x94\xD4\x8D\x86,"
            "\x8B\x40\x8E\xED,ID");
  names[1] = "a,b";  // a comma makes an extra field, as it stands
  EXPECT_EQ(FormatHeaderLine(names),
            "日付,時刻,ノード番号,機種,ID,入力 1,,a,b,,入力 3,,入力 4,,入力 5,");
}

TEST(Cp932Encoder, UnmappableCharactersBecomeAQuestionMark) {
  Cp932Encoder encoder;
  std::string bytes;
  encoder.Append("温度\u2103 😀 x\xFF", &bytes);
  EXPECT_EQ(bytes, "\x89\xB7\x93\x78\x81\x8E ? x?");
  EXPECT_EQ(encoder.EncodedLength("入力 1"), 6u);
  EXPECT_EQ(encoder.EncodedLength("😀"), std::nullopt);
}

// A character is taken only when code page 932 holds that very character:
// never as a look-alike, never as nothing, the same on every platform's
// converter. What is refused counts as no length and is written as '?'.
TEST(Cp932Encoder, TakesOnlyWhatCodePage932HoldsExactly) {
  const struct {
    const char* utf8;
    const char* cp932;  // nullptr: refused
  } cases[] = {
      {"あ", "\x82\xA0"},      {"２", "\x82\x51"},      {"～", "\x81\x60"},  // U+FF5E
      {"―", "\x81\x5C"},       {"∥", "\x81\x61"},       {"￠", "\x81\x91"},
      {"￡", "\x81\x92"},       {"￢", "\x81\xCA"},
      {"①", "\x87\x40"},       // NEC special character
      {"纊", "\xFA\x5C"},      // IBM extension
      {"é", nullptr},           {"ß", nullptr},
      {"¥", nullptr},           {"‾", nullptr},           {"—", nullptr},  // U+2014
      {"¢", nullptr},           {"£", nullptr},           {"¬", nullptr},
      {"‖", nullptr},           {"−", nullptr},           {"〜", nullptr},  // U+2212, U+301C
      {"\U000E0001", nullptr},  {"\U000E007F", nullptr},  // tag characters
      // Single bytes beyond the JIS tables, as Windows gives and reads them back.
      {"\xC2\x80", "\x80"},     {"\uF8F0", "\xA0"},       {"\uF8F1", "\xFD"},  // U+0080
      {"\uF8F2", "\xFE"},       {"\uF8F3", "\xFF"},
  };
  Cp932Encoder encoder;
  for (const auto& c : cases) {
    std::string bytes;
    encoder.Append(std::string("a") + c.utf8 + "b", &bytes);
    EXPECT_EQ(bytes, std::string("a") + (c.cp932 != nullptr ? c.cp932 : "?") + "b") << c.utf8;
    const std::optional<size_t> length = encoder.EncodedLength(c.utf8);
    EXPECT_EQ(length, c.cp932 != nullptr ? std::optional(std::strlen(c.cp932)) : std::nullopt) << c.utf8;
  }
}

TEST(DefaultLogPath, ReplacesOnlyTheFileNamesExtension) {
  const struct {
    const char* program;
    const char* log;
  } cases[] = {
      {"/opt/pelorin-1.0/bin/pelorin", "/opt/pelorin-1.0/bin/pelorin.csv"},
      {"/usr/local/bin/monitor.bin", "/usr/local/bin/monitor.csv"},
      {"/home/user/Logs.2026/monitor", "/home/user/Logs.2026/monitor.csv"},
      {"/srv/tools/pelorin.v2.run", "/srv/tools/pelorin.v2.csv"},
      {"pelorin", "pelorin.csv"},
      {"C:\\Logs.2026\\monitor", "C:\\Logs.2026\\monitor.csv"},
      {"C:\\Tools\\monitor.exe", "C:\\Tools\\monitor.csv"},
  };
  for (const auto& c : cases) EXPECT_EQ(DefaultLogPath(c.program), c.log) << c.program;
}

}  // namespace
}  // namespace pelorin
