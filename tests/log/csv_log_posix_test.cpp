// The CSV log when the file system fails it: a FIFO for a file; a file that
// is deleted, renamed or stalled under the log, or whose folder goes; a share
// that never answers; a size limit reached mid-record.

#include "csv_log_fixture.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelorin {
namespace {

using namespace test;
using LogFile = LogFileTest;

// The descriptor of this process that is open on path.
int DescriptorOf(const std::string& path) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path(), error) == path) {
      return std::stoi(entry.path().filename().string());
    }
  }
  return -1;
}

TEST_F(LogFile, FifosAreRefusedAtOnce) {
  const std::string unread = directory + "/unread";
  const std::string read = directory + "/read";
  ASSERT_EQ(mkfifo(unread.c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(read.c_str(), 0600), 0);
  const int reader = open(read.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  EXPECT_EQ(log.Open(unread), ENXIO);  // nobody reads it: refused, not waited on
  EXPECT_EQ(log.Open(read), EINVAL);
  EXPECT_FALSE(log.IsOpen());
  close(reader);
}

TEST_F(LogFile, FailedWriteClosesTheLogAndSaysSo) {
  // The file is deleted with its folder: it cannot be made again.
  ASSERT_EQ(log.Open(path), 0);
  ASSERT_EQ(unlink(path.c_str()), 0);
  ASSERT_EQ(rmdir(directory.c_str()), 0);
  log.Append(Report(1));
  ASSERT_TRUE(Eventually([this] { return failures == 1; }));
  EXPECT_EQ(unwritten.load(), 1u);
  EXPECT_FALSE(log.IsOpen());
  log.Append(Report(2));  // closed: no further attempt, no further notice
  log.Close();
  EXPECT_EQ(failures.load(), 1);
}

TEST_F(LogFile, ADeletedFileIsMadeAgain) {
  ASSERT_EQ(log.Open(path), 0);
  ASSERT_EQ(unlink(path.c_str()), 0);
  log.Append(Report(3));
  log.Close();
  const std::string text = Read(path);
  EXPECT_EQ(text.rfind(kHeader, 0), 0u);
  EXPECT_EQ(Lines(text), 2u);
  EXPECT_EQ(failures.load(), 0);
}

// Lines in a pipe that nobody has read yet, without a header line.
size_t RecordsIn(int reader) {
  std::string text;
  char buffer[65536];
  for (ssize_t n; (n = read(reader, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  const size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  return lines > 0 && text.rfind(kHeader, 0) == 0 ? lines - 1 : lines;
}

TEST_F(LogFile, AFileThatTakesNothingIsGivenUpInTime) {
  enum Close { AfterTheNotice, AfterAppending, WhileAppending };
  const struct {
    const char* name;
    int records;
    Close close;
  } cases[] = {
      {"left logging", 5000, AfterTheNotice},  // far more than the pipe holds
      {"closed at once", 5000, AfterAppending},
      // The queue fills while the window closes the log: the next log works.
      {"a failure that races a close", 250000, WhileAppending},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    failures = 0;
    unwritten = 0;
    handlerPauseMs = c.close == WhileAppending ? 300 : 0;
    std::filesystem::remove(path);
    ASSERT_EQ(log.Open(path), 0);
    // The file at the path becomes a pipe that nobody reads, whose writes
    // block as those to a share that stopped answering, until a signal.
    const int logged = DescriptorOf(path);
    ASSERT_EQ(unlink(path.c_str()), 0);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    const int reader = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const int stalled = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(dup2(stalled, logged), 0);
    close(stalled);
    const auto start = std::chrono::steady_clock::now();
    std::atomic<size_t> accepted{0};
    std::thread appender([&] {
      for (int i = 0; i < c.records; ++i) accepted += log.Append(Report(i)) ? 1 : 0;
    });
    if (c.close != WhileAppending) appender.join();
    if (c.close == AfterTheNotice) {
      EXPECT_TRUE(Eventually([this] { return failures != 0; }));
      EXPECT_LT(MillisecondsSince(start), 3000) << "the notice came late";
      EXPECT_FALSE(log.IsOpen());
    }
    const auto closing = std::chrono::steady_clock::now();
    log.Close();
    EXPECT_LT(MillisecondsSince(closing), 2500) << "Close waited for the file";
    if (appender.joinable()) appender.join();
    handlerPauseMs = 0;
    // One notice when records did not reach the file; none when all did.
    EXPECT_EQ(failures.load(), unwritten != 0 ? 1 : 0);
    EXPECT_EQ(RecordsIn(reader) + unwritten, accepted.load());
    close(reader);
    std::filesystem::remove(path);
    ASSERT_EQ(log.Open(path), 0);
    log.Append(Report(1));
    log.Close();
    EXPECT_EQ(Lines(Read(path)), 2u) << "the next log does not work";
  }
}

// Each record is in a file that was at the path after the record came: one
// deleted or renamed under the log takes no record appended after that.
TEST_F(LogFile, RecordsFollowTheFileAtThePath) {
  constexpr int kRecords = 10000;  // 2 s at 5,000 a second
  const struct {
    const char* name;
    bool rename;
    int moves;
  } cases[] = {{"deleted", false, 400}, {"renamed", true, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = directory + "/" + c.name;
    std::filesystem::create_directory(folder);
    const std::string atPath = folder + "/records.csv";
    ASSERT_EQ(log.Open(atPath), 0);
    std::atomic<int> moved{0};
    std::vector<int> movedBefore(kRecords);
    std::thread appender([&] {
      const auto start = std::chrono::steady_clock::now();
      for (int i = 0; i < kRecords; ++i) {
        movedBefore[static_cast<size_t>(i)] = moved;
        log.Append(Report(i));
        std::this_thread::sleep_until(start + std::chrono::microseconds(200 * (i + 1)));
      }
    });
    for (int move = 0; move < c.moves; ++move) {
      std::this_thread::sleep_for(std::chrono::microseconds(2'000'000 / c.moves));
      // The file taken from the path stays readable under the number of its move.
      const std::string away = folder + "/moved." + std::to_string(moved + 1);
      if (c.rename ? rename(atPath.c_str(), away.c_str()) != 0
                   : link(atPath.c_str(), away.c_str()) != 0 || unlink(atPath.c_str()) != 0) {
        continue;  // no file at the path since the last move
      }
      ++moved;
    }
    appender.join();
    log.Close();
    EXPECT_EQ(failures.load(), 0);
    // Where each record is: the number of the move that took its file, or
    // one more for the file still at the path.
    std::vector<int> latestFile(kRecords, -1);
    for (int file = 1; file <= moved + 1; ++file) {
      std::istringstream text(Read(file <= moved ? folder + "/moved." + std::to_string(file) : atPath));
      for (std::string line; std::getline(text, line);) {
        int node = -1;
        if (std::sscanf(line.c_str(), "%*[^,],%*[^,],%d,", &node) == 1 && node >= 0 && node < kRecords) {
          latestFile[static_cast<size_t>(node)] = file;
        }
      }
    }
    int lost = 0;
    for (int i = 0; i < kRecords; ++i) {
      if (latestFile[static_cast<size_t>(i)] <= movedBefore[static_cast<size_t>(i)]) ++lost;
    }
    EXPECT_EQ(lost, 0) << "records out of sight after " << moved << " moves";
  }
}

// A share whose writes never return, which no signal ends:
// PELORIN_FUSE_MOUNT names a FUSE file system whose writes wait while a file
// named ".stall" is there and fail while one named ".full" is (fickle_fs.py).
// LogFile.OnAStallingShare mounts it (with_fuse_fs.sh).
TEST_F(LogFile, AWriteThatNothingEndsHoldsNeitherTheNoticeNorClose) {
  const char* share = std::getenv("PELORIN_FUSE_MOUNT");
  if (share == nullptr) GTEST_SKIP() << "no stalling share here; LogFile.OnAStallingShare runs this";
  const std::string folder = share;
  const std::string stalled = folder + "/records.csv";
  std::ofstream(folder + "/.stall").put('\n');
  for (const bool first : {true, false}) {
    SCOPED_TRACE(first ? "first" : "ticked again while the first still hangs");
    failures = 0;
    unwritten = 0;
    auto start = std::chrono::steady_clock::now();
    const int32_t opened = log.Open(stalled);
    EXPECT_LT(MillisecondsSince(start), 2500) << "Open waited for the file";
    // Again, it works on a fresh descriptor, or says the file cannot be opened.
    if (!first && opened != 0) continue;
    ASSERT_EQ(opened, 0);
    for (int i = 0; i < 10; ++i) log.Append(Report(i));
    start = std::chrono::steady_clock::now();
    EXPECT_TRUE(Eventually([this] { return failures != 0; }));
    EXPECT_LT(MillisecondsSince(start), 3000) << "the notice came late";
    EXPECT_EQ(unwritten.load(), 10u);
    EXPECT_FALSE(log.IsOpen());
    start = std::chrono::steady_clock::now();
    log.Close();
    EXPECT_LT(MillisecondsSince(start), 2500) << "Close waited for the file";
    EXPECT_EQ(failures.load(), 1);
  }
  // The writers left behind may end, failing.
  std::ofstream(folder + "/.full").put('\n');
  std::filesystem::remove(folder + "/.stall");
}

TEST_F(LogFile, APartlyWrittenRecordIsTakenBack) {
  // The file may grow by the header, one record and part of the next only.
  const auto appendBeyondTheLimit = [this] {
    std::signal(SIGXFSZ, SIG_IGN);
    if (log.Open(path) != 0) _exit(2);
    log.Append(Report(1));
    log.Close();
    const off_t whole = static_cast<off_t>(Read(path).size());
    const rlimit limit{static_cast<rlim_t>(whole + 20), RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &limit);
    if (log.Open(path) != 0) _exit(2);
    log.Append(Report(2));
    log.Close();
    const bool ok = failures == 1 && !log.IsOpen() &&
                    static_cast<off_t>(Read(path).size()) == whole;
    _exit(ok ? 0 : 1);
  };
  EXPECT_EXIT(appendBeyondTheLimit(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace pelorin
