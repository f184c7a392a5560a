// The Win32 dialog as Windows makes it: its edits' limits, its size and fonts
// at the screen's scale, a move to a screen of another scale, what screen
// readers hear of a receiving session, and the resources it is made from.
// PELORIN_TEST_DPI names the scale the test runs at (96 when unset).

#include "control_table.h"
#include "quorvane_dlg.h"
#include "scripted_devices.h"
#include "sim_process.h"
#include "wide_text.h"
#include "window_dpi.h"

#include <gtest/gtest.h>
#include <oleacc.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <map>
#include <ostream>
#include <string>
#include <set>
#include <utility>
#include <vector>

namespace pelorin::ui {
namespace {

namespace ids = monitor::ids;

UINT ExpectedDpi() {
  const char* dpi = std::getenv("PELORIN_TEST_DPI");
  return dpi != nullptr ? static_cast<UINT>(std::atoi(dpi)) : USER_DEFAULT_SCREEN_DPI;
}

LONG FontHeight(HFONT font) {
  LOGFONTW face{};
  return GetObjectW(font, sizeof face, &face) == sizeof face ? face.lfHeight : 0;
}

int IconWidth(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return 0;
  BITMAP bitmap{};
  GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  return bitmap.bmWidth;
}

class Win32Dialog : public ::testing::Test {
 protected:
  void SetUp() override {
    window = dialog.Create();
    ASSERT_NE(window, nullptr);
  }
  HFONT ValueFont() const {
    return reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(window, ids::RowValueLabels[0]), WM_GETFONT, 0, 0));
  }

  CQuorvaneDlg dialog{GetModuleHandleW(nullptr), "C:\\Pelorin\\Pelorin.exe",
                      std::make_unique<monitor::test::ScriptedDevices>()};
  HWND window = nullptr;
};

TEST_F(Win32Dialog, EditsHoldTheirLimits) {
  const std::pair<int, LRESULT> limits[] = {
      {ids::AddressEdit, 64}, {ids::PortEdit, 5}, {ids::NodeEdit, 3}, {ids::RowNameEdits[0], 16},
      {ids::RowNameEdits[4], 16},
  };
  for (const auto& [id, limit] : limits) {
    EXPECT_EQ(SendMessageW(GetDlgItem(window, id), EM_GETLIMITTEXT, 0, 0), limit) << id;
  }
}

// At any scale the client area is 315 x 302 dialog units of the dialog font
// at that scale, and the value labels' font is 18 point at it.
TEST_F(Win32Dialog, IsLaidOutAtTheScreensScale) {
  const UINT dpi = ExpectedDpi();
  ASSERT_EQ(WindowDpi(window), dpi);
  const auto dialogFont = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
  EXPECT_EQ(FontHeight(dialogFont), -MulDiv(9, static_cast<int>(dpi), 72));
  RECT expected{0, 0, monitor::kDialogWidthDlu, monitor::kDialogHeightDlu};
  MapDialogRect(window, &expected);
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, expected.right);
  EXPECT_EQ(client.bottom, expected.bottom);
  EXPECT_EQ(FontHeight(ValueFont()), -MulDiv(18, static_cast<int>(dpi), 72));
  EXPECT_EQ(IconWidth(reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0))),
            SystemMetricForDpi(SM_CXICON, dpi));
}

TEST_F(Win32Dialog, AScreenOfAnotherScaleGetsItsOwnValueFontAndIcons) {
  const UINT dpi = ExpectedDpi() * 2;
  const HFONT before = ValueFont();
  RECT suggested{};
  GetWindowRect(window, &suggested);
  SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(FontHeight(ValueFont()), -MulDiv(18, static_cast<int>(dpi), 72));
  for (int id : ids::RowValueLabels) {
    EXPECT_EQ(SendMessageW(GetDlgItem(window, id), WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(ValueFont()));
  }
  EXPECT_EQ(FontHeight(before), 0) << "the old font is released";
  const auto big = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0));
  const auto small = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0));
  EXPECT_EQ(IconWidth(big), SystemMetricForDpi(SM_CXICON, dpi));
  EXPECT_EQ(IconWidth(small), SystemMetricForDpi(SM_CXSMICON, dpi));
}

// COM on the test's thread, as the program has it on its window's: screen
// readers' objects are handed over through it.
struct ComApartment {
  ComApartment() : started(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComApartment() {
    if (started) CoUninitialize();
  }
  const bool started;
};

// A control as a screen reader reads it.
struct Spoken {
  std::string name, value;
  LONG role = 0;
  friend bool operator==(const Spoken&, const Spoken&) = default;
  friend std::ostream& operator<<(std::ostream& out, const Spoken& s) {
    return out << "{" << s.name << " | " << s.value << " | role " << s.role << "}";
  }
};

// One of the object's texts, asked with the way given.
template <typename Ask>
std::string TextOf(Ask ask) {
  BSTR text = nullptr;
  const HRESULT result = ask(&text);
  std::string taken = result == S_OK && text != nullptr ? Narrow(text) : "";
  SysFreeString(text);
  return taken;
}

// Also the object's state, through state when given.
Spoken Read(HWND control, LONG* state = nullptr) {
  IAccessible* object = nullptr;
  if (FAILED(AccessibleObjectFromWindow(control, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&object)))) {
    return {"(no object)", "", 0};
  }
  VARIANT self{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  Spoken spoken;
  spoken.name = TextOf([&](BSTR* text) { return object->get_accName(self, text); });
  spoken.value = TextOf([&](BSTR* text) { return object->get_accValue(self, text); });
  VARIANT answer{};
  if (object->get_accRole(self, &answer) == S_OK && answer.vt == VT_I4) spoken.role = answer.lVal;
  VariantClear(&answer);
  if (state != nullptr && object->get_accState(self, &answer) == S_OK && answer.vt == VT_I4) *state = answer.lVal;
  object->Release();
  return spoken;
}

// Live-region events raised in this process, heard as an in-process screen
// reader's hook hears them, each with the time it was raised.
class LiveRegionEvents {
 public:
  LiveRegionEvents() {
    current_ = this;
    hook_ = SetWinEventHook(EVENT_OBJECT_LIVEREGIONCHANGED, EVENT_OBJECT_LIVEREGIONCHANGED, GetModuleHandleW(nullptr),
                            &Heard, GetCurrentProcessId(), 0, WINEVENT_INCONTEXT);
  }
  ~LiveRegionEvents() {
    if (hook_ != nullptr) UnhookWinEvent(hook_);
    current_ = nullptr;
  }
  bool installed() const { return hook_ != nullptr; }
  std::map<HWND, std::vector<std::chrono::milliseconds>> heard;

 private:
  static void CALLBACK Heard(HWINEVENTHOOK, DWORD, HWND control, LONG object, LONG child, DWORD,
                             DWORD raisedMs) {
    if (current_ != nullptr && object == OBJID_CLIENT && child == CHILDID_SELF) {
      current_->heard[control].push_back(std::chrono::milliseconds(raisedMs));
    }
  }
  static inline LiveRegionEvents* current_ = nullptr;
  HWINEVENTHOOK hook_ = nullptr;
};

// Runs the window's messages until done holds, or for the whole time.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

// A receiving session as a screen reader hears it: each row by the name the
// user gave it (or the control's own), its value or indicator state as the
// value, the status line by what it shows; and the rows' changes announced,
// each row at most once a second however fast the reports come.
TEST(Win32DialogAloud, ReadsEachRowByItsNameAndAnnouncesItsChangesCalmly) {
  const ComApartment com;
  ASSERT_TRUE(com.started);
  LiveRegionEvents events;
  ASSERT_TRUE(events.installed());
  pelorin::test::SimProcess fixed({"--tcp", "127.0.0.1:0", "--rate", "50", "--fixed-report"});
  pelorin::test::SimProcess changing({"--tcp", "127.0.0.1:0", "--rate", "50"});
  CQuorvaneDlg dialog{GetModuleHandleW(nullptr), "C:\\Pelorin\\Pelorin.exe",
                      std::make_unique<monitor::test::ScriptedDevices>()};
  const HWND window = dialog.Create();
  ASSERT_NE(window, nullptr);
  ShowWindow(window, SW_SHOW);
  const auto item = [window](int id) { return GetDlgItem(window, id); };
  // The rows' names start as 入力 1 to 入力 5; the user renames one and blanks two.
  SetWindowTextW(item(ids::RowNameEdits[0]), L" 温度 1 ");
  SetWindowTextW(item(ids::RowNameEdits[1]), L"");
  SetWindowTextW(item(ids::RowNameEdits[3]), L"  ");
  SetWindowTextW(item(ids::AddressEdit), L"127.0.0.1");
  SetWindowTextW(item(ids::PortEdit), Widen(fixed.endpoint()).c_str());
  const auto click = [&] {
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(ids::StartButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(item(ids::StartButton)));
  };
  click();

  // Each row's face: its value label while it shows a value, else its indicator.
  const auto face = [&](size_t row) {
    const HWND value = item(ids::RowValueLabels[row]);
    return IsWindowVisible(value) ? value : item(ids::RowIndicators[row]);
  };
  const auto readRows = [&] {
    std::vector<Spoken> rows;
    for (size_t row = 0; row < ids::RowValueLabels.size(); ++row) rows.push_back(Read(face(row)));
    return rows;
  };
  const std::vector<Spoken> expected = {
      {"温度 1", " 5.0000 V", ROLE_SYSTEM_STATICTEXT}, {"値 2", "断線", ROLE_SYSTEM_STATICTEXT},
      {"入力 3", "オン", ROLE_SYSTEM_GRAPHIC},         {"表示 4", "オフ", ROLE_SYSTEM_GRAPHIC},
      {"入力 5", "オフ", ROLE_SYSTEM_GRAPHIC},
  };
  // A look may fall while the receive thread writes the next report, whose
  // rows are then empty (grey) until the refresh after it.
  PumpUntil([&] { return readRows() == expected; }, std::chrono::seconds(10));
  EXPECT_EQ(readRows(), expected);
  LONG shownState = 0;
  LONG hiddenState = 0;
  Read(item(ids::RowValueLabels[0]), &shownState);
  Read(item(ids::RowIndicators[0]), &hiddenState);
  EXPECT_EQ(shownState & STATE_SYSTEM_INVISIBLE, 0);
  EXPECT_NE(hiddenState & STATE_SYSTEM_INVISIBLE, 0);
  const Spoken status = Read(item(ids::NodeStatus));
  EXPECT_EQ(status.name, "node : [ 26 ]    /    KT-200    ID : 3    ");
  EXPECT_EQ(status.role, ROLE_SYSTEM_STATICTEXT);
  EXPECT_EQ(Read(item(ids::ReceiveTime)).name.rfind("受信 : ", 0), 0u);
  // The row's name as it is when asked, not as it was when the window was made.
  SetWindowTextW(item(ids::RowNameEdits[1]), L"圧力");
  EXPECT_EQ(Read(item(ids::RowValueLabels[1])).name, "圧力");

  // Each row is told of, through whichever of its two controls shows.
  const auto told = [&](size_t row) {
    std::vector<std::chrono::milliseconds> times;
    for (int id : {ids::RowValueLabels[row], ids::RowIndicators[row]}) {
      const auto& heard = events.heard[item(id)];
      times.insert(times.end(), heard.begin(), heard.end());
    }
    std::sort(times.begin(), times.end());
    return times;
  };
  const auto allTold = [&] {
    for (size_t row = 0; row < ids::RowValueLabels.size(); ++row) {
      if (told(row).empty()) return false;
    }
    return true;
  };
  // Under Wine the hook hears of them only with the thread's next messages.
  EXPECT_TRUE(PumpUntil(allTold, std::chrono::seconds(5)));

  // Values that change with every report, 50 a second: still each row is told
  // of at most once a second.
  click();  // stop
  SetWindowTextW(item(ids::PortEdit), Widen(changing.endpoint()).c_str());
  events.heard.clear();
  click();
  const auto thriceTold = [&] {
    for (size_t row = 0; row < ids::RowValueLabels.size(); ++row) {
      if (told(row).size() >= 3) return true;
    }
    return false;
  };
  EXPECT_TRUE(PumpUntil(thriceTold, std::chrono::seconds(10)));
  for (size_t row = 0; row < ids::RowValueLabels.size(); ++row) {
    const auto times = told(row);
    // The system's clock counts in ticks of up to 16 ms.
    for (size_t i = 1; i < times.size(); ++i) {
      EXPECT_GE(times[i] - times[i - 1], std::chrono::milliseconds(980)) << "row " << row;
    }
  }
}

// The manifest, as Windows reads it, has the window drawn at each screen's
// own scale rather than at 100 % and stretched: Per-Monitor v2 where Windows
// has it, Per-Monitor before that.
std::wstring WindowsSetting(const wchar_t* space, const wchar_t* name) {
  wchar_t value[128] = {};
  SIZE_T written = 0;
  if (!QueryActCtxSettingsW(0, nullptr, space, name, value, std::size(value), &written)) return L"";
  return value;
}

TEST(Win32Resources, TheManifestAsksForPerMonitorScaling) {
  EXPECT_EQ(WindowsSetting(L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness"),
            L"PerMonitorV2, PerMonitor");
  EXPECT_EQ(WindowsSetting(L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware"), L"true/pm");
  EXPECT_EQ(GetAwarenessFromDpiAwarenessContext(GetThreadDpiAwarenessContext()),
            DPI_AWARENESS_PER_MONITOR_AWARE);
}

// Icon 128: one picture in 16, 32 and 48 pixels at 4, 8 and 32 bits per pixel.
TEST(Win32Resources, TheIconHoldsEachSizeAtEachColourDepth) {
#pragma pack(push, 2)
  struct GroupIconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitsPerPixel;
    DWORD bytes;
    WORD id;
  };
  struct GroupIcon {
    WORD reserved, type, count;
    GroupIconEntry entries[1];
  };
#pragma pack(pop)
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(128), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
  ASSERT_NE(found, nullptr);
  const auto* group = static_cast<const GroupIcon*>(LockResource(LoadResource(nullptr, found)));
  std::set<std::pair<int, int>> images;
  for (WORD i = 0; i < group->count; ++i) {
    const GroupIconEntry& entry = group->entries[i];
    images.emplace(entry.width, entry.bitsPerPixel);
  }
  EXPECT_EQ(group->count, 9);
  EXPECT_EQ(images, (std::set<std::pair<int, int>>{{16, 4}, {16, 8}, {16, 32}, {32, 4}, {32, 8}, {32, 32},
                                                   {48, 4}, {48, 8}, {48, 32}}));
}

BOOL CALLBACK NoteLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR languages) {
  reinterpret_cast<std::set<WORD>*>(languages)->insert(language);
  return TRUE;
}
BOOL CALLBACK NoteNameLanguages(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR languages) {
  EnumResourceLanguagesW(module, type, name, &NoteLanguage, languages);
  return TRUE;
}
BOOL CALLBACK NoteTypeLanguages(HMODULE module, LPWSTR type, LONG_PTR languages) {
  EnumResourceNamesW(module, type, &NoteNameLanguages, languages);
  return TRUE;
}

TEST(Win32Resources, AreJapanese) {
  std::set<WORD> languages;
  EnumResourceTypesW(nullptr, &NoteTypeLanguages, reinterpret_cast<LONG_PTR>(&languages));
  EXPECT_EQ(languages, std::set<WORD>{MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)});
}

}  // namespace
}  // namespace pelorin::ui
