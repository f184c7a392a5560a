#include "cp932_encoder.h"
#include "day_files.h"
#include "frame_builder.h"
#include "loopback.h"
#include "logger_run_fixture.h"
#include "record_format.h"
#include "report_decoder.h"
#include "sim_process.h"
#include "temporary_folder.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace pelorin::logger {
namespace {

using namespace std::chrono_literals;

// The window's line for a report, from the node on: the date and time differ.
std::string WithoutTime(const std::string& line) { return line.substr(line.find(',', line.find(',') + 1) + 1); }

TEST_F(LoggerRunTest, EveryReportDecodedIsInTheLogAsTheWindowWritesIt) {
  test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "2000", "--fixed-report"});
  Start(TcpOptions(sim.endpoint()));
  ASSERT_TRUE(Said("start command answered"));
  std::this_thread::sleep_for(500ms);
  Stop();

  const std::vector<std::string> lines = CsvLines();
  const uint64_t decoded = NumberBefore(LineWith("stopped"), "reports decoded");
  ASSERT_GT(decoded, 100u);
  ASSERT_EQ(lines.size(), decoded + 1);
  Cp932Encoder encoder;
  std::string header, record;
  encoder.Append(FormatHeaderLine({"入力 1", "入力 2", "入力 3", "入力 4", "入力 5"}), &header);
  EXPECT_EQ(lines[0], header);
  NodeReport report;
  const sim::Frame frame = sim::NodeReport(sim::FixedReport());
  ASSERT_TRUE(ParseNodeReport(frame.data(), static_cast<int32_t>(frame.size()), &report));
  encoder.Append(FormatRecordLine(report), &record);
  for (size_t i = 1; i < lines.size(); ++i) ASSERT_EQ(WithoutTime(lines[i]), WithoutTime(record)) << i;
}

// A gateway that goes away, by closing its connection or by falling silent,
// ends the session; the next one starts by itself and logs on.
TEST_F(LoggerRunTest, ALostGatewayIsFollowedByANewSession) {
  {
    auto sim = std::make_unique<test::SimProcess>(
        std::vector<std::string>{"--tcp", "127.0.0.1:0", "--rate", "200"});
    const std::string port = sim->endpoint();
    RunTiming timing = Quick();
    timing.summary = 1s;  // the hour's, shortened
    Start(TcpOptions(port), timing);
    ASSERT_TRUE(Said("start command answered"));
    std::this_thread::sleep_for(300ms);
    sim.reset();
    ASSERT_TRUE(Said("gateway lost: the gateway closed the connection"));
    ASSERT_TRUE(Said("cannot reach the gateway"));
    sim = std::make_unique<test::SimProcess>(
        std::vector<std::string>{"--tcp", "127.0.0.1:" + port, "--rate", "200"});
    ASSERT_TRUE(Said("start command answered", 2));
    ASSERT_TRUE(Said("in the last 1 s: "));
    std::this_thread::sleep_for(300ms);
    Stop();
  }
  EXPECT_TRUE(std::regex_search(LineWith("in the last 1 s: "),
                                std::regex("^in the last 1 s: [0-9]+ reports decoded, [0-9]+ written, [0-9]+ not "
                                           "written; [0-9]+ sessions started, [0-9]+ gateway losses$")))
      << LineWith("in the last 1 s: ");
  const uint64_t first = NumberBefore(LineWith("gateway lost"), "reports in this session");
  const uint64_t decoded = NumberBefore(LineWith("stopped"), "reports decoded");
  EXPECT_GT(first, 0u);
  EXPECT_GT(decoded, first);
  EXPECT_EQ(CsvLines().size(), decoded + 1);
}

TEST_F(LoggerRunTest, ASilentGatewayCountsAsLostAfterTheSilence) {
  test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "200", "--count", "5"});
  LoggerOptions options = TcpOptions(sim.endpoint());
  options.silenceSeconds = 1;
  Start(options);
  ASSERT_TRUE(Said("gateway lost: nothing heard from the gateway for 1 s; 5 reports in this session"));
  ASSERT_TRUE(Said("start command answered", 2));
  Stop();
}

// A serial gateway named by a path that follows its adapter (as a
// /dev/serial/by-id link does): the adapter pulled is told at once, not after
// the silence; back under a new device node, it is sent the start command
// again, without which it sends nothing, and logging goes on there.
TEST_F(LoggerRunTest, ANewDeviceAtTheSamePathAfterAReplugIsLoggedOn) {
  const std::string link = folder_.path() + "/usb-gateway";
  auto sim = std::make_unique<test::SimProcess>(std::vector<std::string>{"--pty", "--rate", "200"});
  std::filesystem::create_symlink(sim->endpoint(), link);
  LoggerOptions options;
  options.serialDevice = link;
  options.csvPath = folder_.path() + "/log.csv";
  options.silenceSeconds = 3600;
  Start(options);
  ASSERT_TRUE(Said("connected to the gateway at " + link + "; start command answered"));
  // Reports must have been read before the pull: a pulled device takes with it
  // what the link had not read yet.
  std::this_thread::sleep_for(300ms);
  sim.reset();
  ASSERT_TRUE(Said("gateway lost: the serial device is gone"));
  sim = std::make_unique<test::SimProcess>(std::vector<std::string>{"--pty", "--rate", "200"});
  std::filesystem::remove(link);
  std::filesystem::create_symlink(sim->endpoint(), link);
  ASSERT_TRUE(Said("reconnected to the gateway at " + link + "; start command answered"));
  std::this_thread::sleep_for(300ms);
  Stop();
  const uint64_t first = NumberBefore(LineWith("gateway lost"), "reports in this session");
  EXPECT_GT(first, 0u);
  EXPECT_GT(NumberBefore(LineWith("stopped"), "reports decoded"), first);
  EXPECT_EQ(CsvLines().size(), NumberBefore(LineWith("stopped"), "reports decoded") + 1);
}

// A log that cannot be opened stops nothing: the file is tried again, and is
// said to be written again only once a record reached it. Every report is
// accounted for at the stop, in the file or counted as not written.
TEST_F(LoggerRunTest, ALogFileThatCannotBeOpenedIsTriedAgain) {
  for (const bool folderMade : {true, false}) {
    SCOPED_TRACE(folderMade ? "the folder is made" : "the folder never comes");
    test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "200"});
    LoggerOptions options = TcpOptions(sim.endpoint());
    const std::string folder = folder_.path() + (folderMade ? "/later" : "/never");
    options.csvPath = folder + "/log.csv";
    Start(options);
    ASSERT_TRUE(Said("cannot open the log file"));
    ASSERT_TRUE(Said("start command answered"));
    std::this_thread::sleep_for(300ms);
    if (folderMade) {
      std::filesystem::create_directory(folder);
      ASSERT_TRUE(Said("is written again"));
      EXPECT_GT(NumberBefore(LineWith("is written again"), "reports could not be written"), 0u);
    }
    Stop();
    const std::string stopped = LineWith("stopped");
    const uint64_t decoded = NumberBefore(stopped, "reports decoded");
    const uint64_t written = NumberBefore(stopped, "written,");
    EXPECT_EQ(written + NumberBefore(stopped, "not written"), decoded) << stopped;
    EXPECT_EQ(stopped.find("(cannot open the log file") != std::string::npos, written < decoded) << stopped;
    EXPECT_EQ(folderMade ? CsvLinesAt(options.csvPath).size() - 1 : 0u, written);
    EXPECT_EQ(LinesWith("; trying again every"), 1u) << "told more than once";
  }
}

// What the gateway sent before the stop is read and logged, however busy
// the link was.
TEST_F(LoggerRunTest, TheStopLogsWhatTheLinkHolds) {
  test::LoopbackServer server;
  Start(TcpOptions(server.port()));
  const test::Socket gateway = server.Accept();
  ASSERT_GE(gateway, 0);
  test::ReceiveBytes(gateway, 5);  // the start command
  test::SendBytes(gateway, sim::GatewayReply());
  ASSERT_TRUE(Said("start command answered"));
  constexpr size_t kReports = 500;
  std::vector<uint8_t> burst;
  const sim::Frame report = sim::NodeReport(sim::FixedReport());
  for (size_t i = 0; i < kReports; ++i) burst.insert(burst.end(), report.begin(), report.end());
  test::SendBytes(gateway, burst);
  Stop();
  test::CloseSocket(gateway);
  EXPECT_EQ(NumberBefore(LineWith("stopped"), "reports decoded"), kReports);
  EXPECT_EQ(CsvLines().size(), kReports + 1);
}

// The pauses after each loss of a gateway whose every connection ends after
// a few reports: ever longer while the sessions are short; the first again
// after each session that lasted the steady time.
TEST(SessionPacing, ThePausesStartAgainOnlyAfterASteadySession) {
  using std::chrono::milliseconds;
  const struct {
    const char* name;
    const char* reportsPerConnection;  // at 200 a second
    milliseconds steadySession;
    std::vector<milliseconds> pauses;
  } cases[] = {
      {"short sessions", "3", 10s, {50ms, 100ms, 200ms, 200ms}},
      {"steady sessions", "60", 100ms, {50ms, 50ms, 50ms}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "200", "--fault", "close", "--reset-after",
                          c.reportsPerConnection});
    struct Losses : protocol::SessionObserver {
      void SessionChanged(const protocol::SessionEvent& event) override {
        if (event.kind != protocol::SessionEvent::Kind::Lost) return;
        std::lock_guard lock(mutex);
        pauses.push_back(event.nextTry);
        changed.notify_all();
      }
      std::mutex mutex;
      std::condition_variable changed;
      std::vector<milliseconds> pauses;
    } losses;
    SerialPortRegistry ports;
    GatewayLink link(ports);
    link.useTcp = 1;
    link.SetHostName("127.0.0.1");
    link.SetPortText(sim.endpoint());
    CsvLog log([](int32_t, size_t) {});
    LoggerSink sink(log, false, [] { return std::time_t{0}; });
    protocol::SessionPacing pacing;
    pacing.firstPause = 50ms;
    pacing.longestPause = 200ms;
    pacing.steadySession = c.steadySession;
    protocol::ReportSession session(link, sink, losses, pacing);
    std::thread keeper([&session] { session.Keep(); });
    std::vector<milliseconds> pauses;
    {
      std::unique_lock lock(losses.mutex);
      losses.changed.wait_for(lock, 20s, [&] { return losses.pauses.size() >= c.pauses.size(); });
      pauses = losses.pauses;
    }
    session.EndKeeping();
    keeper.join();
    session.Close();
    pauses.resize(std::min(pauses.size(), c.pauses.size()));
    EXPECT_EQ(pauses, c.pauses);
  }
}

// What a service manager hears through its notification socket: ready while
// the gateway is still away, the watchdog fed, a status with the gateway and
// its reports, and the stop.
TEST_F(LoggerRunTest, AServiceManagerIsToldReadyAliveStatusAndStopping) {
  const std::string path = folder_.path() + "/notify";
  const int manager = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(manager, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof address.sun_path);
  path.copy(address.sun_path, path.size());
  ASSERT_EQ(bind(manager, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  const timeval tick{0, 100000};
  setsockopt(manager, SOL_SOCKET, SO_RCVTIMEO, &tick, sizeof tick);
  // Read throughout, as the manager does: a full queue would hold the sender.
  std::mutex mutex;
  std::condition_variable heard;
  std::vector<std::string> notices;
  std::atomic<bool> listening{true};
  std::thread listener([&] {
    char buffer[4096];
    while (listening.load()) {
      const ssize_t size = recv(manager, buffer, sizeof buffer, 0);
      if (size <= 0) continue;
      std::lock_guard lock(mutex);
      notices.emplace_back(buffer, static_cast<size_t>(size));
      heard.notify_all();
    }
  });
  const auto heardOne = [&](const std::function<bool(const std::string&)>& matches) {
    std::unique_lock lock(mutex);
    return heard.wait_for(lock, 15s, [&] { return std::any_of(notices.begin(), notices.end(), matches); });
  };
  const auto holds = [](const std::string& text) {
    return [text](const std::string& notice) { return notice.find(text) != std::string::npos; };
  };
  setenv("NOTIFY_SOCKET", path.c_str(), 1);
  setenv("WATCHDOG_USEC", "400000", 1);
  setenv("WATCHDOG_PID", std::to_string(getpid()).c_str(), 1);

  auto sim = std::make_unique<test::SimProcess>(std::vector<std::string>{"--tcp", "127.0.0.1:0", "--rate", "200"});
  const std::string port = sim->endpoint();
  sim.reset();
  Start(TcpOptions(port));
  const std::string gateway = "the gateway at 127.0.0.1:" + port;
  EXPECT_TRUE(heardOne(holds("READY=1")));
  EXPECT_TRUE(heardOne(holds("STATUS=cannot reach " + gateway)));
  sim = std::make_unique<test::SimProcess>(std::vector<std::string>{"--tcp", "127.0.0.1:" + port, "--rate", "200"});
  EXPECT_TRUE(heardOne([&](const std::string& notice) {
    return notice.rfind("STATUS=logging " + gateway + "; ", 0) == 0 && notice.find("; 0 reports") == std::string::npos;
  }));
  EXPECT_TRUE(heardOne([&](const std::string&) { return std::count(notices.begin(), notices.end(), "WATCHDOG=1") >= 3; }));
  Stop();
  EXPECT_TRUE(heardOne(holds("STOPPING=1")));

  unsetenv("NOTIFY_SOCKET");
  unsetenv("WATCHDOG_USEC");
  unsetenv("WATCHDOG_PID");
  listening.store(false);
  listener.join();
  close(manager);
}

TEST(DailyLogPath, TheDateGoesBeforeTheExtension) {
  const struct {
    std::string path, dated;
  } cases[] = {
      {"log.csv", "log-2026-12-08.csv"},
      {"/var/lib/pelorin-logger/gw/log", "/var/lib/pelorin-logger/gw/log-2026-12-08"},
      {"logs.d/pelorin", "logs.d/pelorin-2026-12-08"},
      {"C:\\logs\\Pelorin.csv", "C:\\logs\\Pelorin-2026-12-08.csv"},
  };
  for (const auto& c : cases) EXPECT_EQ(DatedPath(c.path, 20261208), c.dated);
}

// Reports go to the file of their own local day, each file with its header;
// the clock is the test's.
TEST_F(LoggerRunTest, DailyFilesChangeAtLocalMidnight) {
  std::tm evening{};
  evening.tm_year = 2026 - 1900;
  evening.tm_mon = 11;
  evening.tm_mday = 8;
  evening.tm_hour = 23;
  evening.tm_min = 59;
  evening.tm_sec = 58;
  evening.tm_isdst = -1;
  std::atomic<std::time_t> now{std::mktime(&evening)};
  RunTiming timing = Quick();
  timing.clock = [&now] { return now.load(); };
  test::SimProcess sim({"--tcp", "127.0.0.1:0", "--rate", "200"});
  LoggerOptions options = TcpOptions(sim.endpoint());
  options.daily = true;
  // Day files more than a day old go, at the start and at the new day; other
  // files stay.
  options.keepDays = 1;
  const std::string kept[] = {"log-2026-12-07.csv.bak", "other-2026-12-01.csv", "log-2026-13-01.csv"};
  const std::string removed[] = {"log-2026-12-01.csv", "log-2026-12-07.csv"};
  for (const std::string& name : kept) std::ofstream(folder_.path() + "/" + name) << "x";
  for (const std::string& name : removed) std::ofstream(folder_.path() + "/" + name) << "x";
  Start(options, timing);
  ASSERT_TRUE(Said("removed the old day file " + folder_.path() + "/log-2026-12-01.csv"));
  ASSERT_TRUE(Said("start command answered"));
  std::this_thread::sleep_for(300ms);
  now += 3;  // 00:00:01 on the 9th
  ASSERT_TRUE(Said("logging into " + folder_.path() + "/log-2026-12-09.csv"));
  EXPECT_TRUE(Said("removed the old day file " + folder_.path() + "/log-2026-12-07.csv"));
  for (const std::string& name : kept) EXPECT_TRUE(std::filesystem::exists(folder_.path() + "/" + name)) << name;
  for (const std::string& name : removed) EXPECT_FALSE(std::filesystem::exists(folder_.path() + "/" + name)) << name;
  std::this_thread::sleep_for(300ms);
  Stop();

  const struct {
    const char* file;
    const char* date;
  } days[] = {{"log-2026-12-08.csv", "2026/12/08"}, {"log-2026-12-09.csv", "2026/12/09"}};
  size_t records = 0;
  for (const auto& day : days) {
    const std::vector<std::string> lines = CsvLines(day.file);
    ASSERT_GT(lines.size(), 1u) << day.file;
    EXPECT_EQ(lines[0].rfind("\x93\xfa\x95\x74,", 0), 0u) << day.file;  // 日付: the header
    for (size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind(day.date, 0), 0u) << lines[i];
    records += lines.size() - 1;
  }
  EXPECT_EQ(records, NumberBefore(LineWith("stopped"), "reports decoded"));
}

}  // namespace
}  // namespace pelorin::logger
