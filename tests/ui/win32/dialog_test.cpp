// The Win32 dialog as Windows makes it: its edits' limits, its size and fonts
// at the screen's scale, a move to a screen of another scale, and the
// resources it is made from. PELORIN_TEST_DPI names the scale the test runs
// at (96 when unset).

#include "control_table.h"
#include "quorvane_dlg.h"
#include "scripted_devices.h"
#include "window_dpi.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <string>
#include <set>
#include <utility>

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
