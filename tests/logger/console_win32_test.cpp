// The logger's own console handling on Windows, on a console of the test's
// own: what it writes, what it leaves behind, and the Ctrl events it takes.

#include "stop_signals.h"
#include "terminal.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <io.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace pelorin::logger {
namespace {

class Console : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    FreeConsole();
    ASSERT_TRUE(AllocConsole()) << GetLastError();
    // Read access too, as a console's own standard output has: the mode asks for it.
    out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(out, INVALID_HANDLE_VALUE) << GetLastError();
    console = _fdopen(_open_osfhandle(reinterpret_cast<intptr_t>(out), 0), "w");
    ASSERT_NE(console, nullptr);
  }

  // The console's first characters of row `row`.
  static std::wstring Shown(short row, DWORD count) {
    std::wstring text(count, L' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(out, text.data(), count, {0, row}, &read);
    text.resize(read);
    return text;
  }

  static inline std::FILE* console = nullptr;
  static inline HANDLE out = INVALID_HANDLE_VALUE;
};

TEST_F(Console, JapaneseTextIsShownUnchangedWhateverTheCodePage) {
  for (const UINT codePage : {437u, 932u, 65001u}) {
    SetConsoleOutputCP(codePage);
    SetConsoleCursorPosition(out, {0, 0});
    WriteText(console, "指定されたファイルが見つかりません。");
    EXPECT_EQ(Shown(0, 18), L"指定されたファイルが見つかりません。")
        << "code page " << codePage;
  }
}

TEST_F(Console, ModeAndCodePageAreAsFoundOnceTheTerminalEnds) {
  SetConsoleOutputCP(932);
  DWORD found = 0;
  ASSERT_TRUE(GetConsoleMode(out, &found));
  ASSERT_TRUE(SetConsoleMode(out, found & ~ENABLE_VIRTUAL_TERMINAL_PROCESSING));
  found &= ~ENABLE_VIRTUAL_TERMINAL_PROCESSING;
  {
    const InteractiveTerminal terminal(console);
    ASSERT_TRUE(terminal.ready());
    DWORD mode = 0;
    GetConsoleMode(out, &mode);
    EXPECT_NE(mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING, 0u);
  }
  DWORD mode = 0;
  GetConsoleMode(out, &mode);
  EXPECT_EQ(mode, found);
  EXPECT_EQ(GetConsoleOutputCP(), 932u);
}

// Ctrl+C stops the live watch only: one that has ended is never called.
TEST_F(Console, CtrlCStopsOnlyTheLiveWatch) {
  std::atomic<int> firstStops{0};
  std::atomic<int> secondStops{0};
  const auto waitFor = [](const std::atomic<int>& count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (count.load() == 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return count.load();
  };
  {
    const StopSignals watch([&] { ++firstStops; }, [] {});
    ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();
    EXPECT_EQ(waitFor(firstStops), 1);
  }
  // Handled later than this, the event proves less, never a fault.
  ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  {
    const StopSignals watch([&] { ++secondStops; }, [] {});
    ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
    EXPECT_GE(waitFor(secondStops), 1);
  }
  EXPECT_EQ(firstStops.load(), 1);
}

}  // namespace
}  // namespace pelorin::logger
