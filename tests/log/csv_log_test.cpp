// The CSV log on its file: the header, appending, opening and locking.

#include "csv_log_fixture.h"

#include <cerrno>

namespace pelorin {
namespace {

using namespace test;
using LogFile = LogFileTest;

TEST_F(LogFile, HeaderComesWithTheFirstRecordOfAnEmptyFile) {
  ASSERT_EQ(log.Open(path), 0);
  EXPECT_EQ(Read(path), "");  // nothing is written before the first record
  log.SetRowName(0, "流量");    // names as they are when the first record comes
  log.Append(Report(1));
  log.Append(Report(2));
  log.Close();
  const std::string text = Read(path);
  std::string header = kHeader;
  header.replace(header.find("\x93\xFC\x97\xCD 1"), 6, "\x97\xAC\x97\xCA");
  EXPECT_EQ(text.rfind(header, 0), 0u);
  EXPECT_EQ(Lines(text), 3u);
  EXPECT_NE(text.find(",1,KT-100,0, 5.0000,V,\r\n"), std::string::npos);
  EXPECT_NE(text.find(",2,KT-100,0, 5.0000,V,\r\n"), std::string::npos);
}

TEST_F(LogFile, AFileWithContentGetsNoHeader) {
  { std::ofstream(path, std::ios::binary) << "earlier,content\r\n"; }
  ASSERT_EQ(log.Open(path), 0);
  log.Append(Report(7));
  log.Close();
  const std::string text = Read(path);
  EXPECT_EQ(text.rfind("earlier,content\r\n", 0), 0u);
  EXPECT_EQ(Lines(text), 2u);
  EXPECT_EQ(text.find("ID,"), std::string::npos);
}

TEST_F(LogFile, OnAndOffBeforeAnyRecordLeavesAnEmptyFile) {
  ASSERT_EQ(log.Open(path), 0);
  log.Close();
  log.Append(Report(1));  // logging is off: nothing happens
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(Read(path), "");
  ASSERT_EQ(log.Open(path), 0);
  log.Append(Report(1));
  log.Close();
  EXPECT_EQ(Read(path).rfind(kHeader, 0), 0u);
}

TEST_F(LogFile, OpenFailsWhereNoFileCanBe) {
  const struct {
    std::string path;
    int32_t error;
  } cases[] = {
      {directory + "/missing/records.csv", ENOENT},
#if defined(_WIN32)
      {directory, EACCES},
      {"NUL", EINVAL},
#else
      {directory, EISDIR},
      {"/dev/full", EINVAL},
#endif
  };
  for (const auto& c : cases) EXPECT_EQ(log.Open(c.path), c.error) << c.path;
  EXPECT_FALSE(log.IsOpen());
}

TEST_F(LogFile, ASecondWriterIsLockedOut) {
  ASSERT_EQ(log.Open(path), 0);
  CsvLog second{nullptr};
  EXPECT_EQ(second.Open(path), EAGAIN);
  // Others may read the open log, though.
  EXPECT_TRUE(std::ifstream(path).is_open());
#if defined(_WIN32)
  // Nor can it be deleted while it is open: the records never go out of sight.
  std::error_code error;
  EXPECT_FALSE(std::filesystem::remove(path, error));
#endif
  log.Close();
  EXPECT_EQ(second.Open(path), 0);
}

}  // namespace
}  // namespace pelorin
