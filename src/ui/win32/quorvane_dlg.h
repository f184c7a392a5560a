#pragma once

#include "accessible_texts.h"
#include "control_accessible.h"
#include "cp932_encoder.h"
#include "device_source.h"
#include "monitor_core.h"
#include "monitor_window.h"

#include <windows.h>

#include <array>
#include <memory>
#include <string>

namespace pelorin::ui {

// The program's only window on Windows: a dialog made from the control table,
// lent to the monitor core, which holds all behaviour. It forwards clicks,
// edits, the device-change notice and posted work to the core and answers the
// core's operations on its controls by id.
class CQuorvaneDlg : private monitor::MonitorWindow, private AccessibleFaces {
 public:
  // The rows' refresh, posted by the receive thread.
  static constexpr UINT WM_APP_REFRESH_ROWS = 0x8001;
  // Every other task handed to the window thread: wParam the task, lParam its value.
  static constexpr UINT WM_APP_WINDOW_TASK = 0x8002;
  // After the dialog manager has laid the window out for a new scale.
  static constexpr UINT WM_APP_FIT_LABELS = 0x8003;

  CQuorvaneDlg(HINSTANCE instance, const std::string& programPath,
               std::unique_ptr<monitor::DeviceSource> devices);
  ~CQuorvaneDlg();
  CQuorvaneDlg(const CQuorvaneDlg&) = delete;
  CQuorvaneDlg& operator=(const CQuorvaneDlg&) = delete;

  // Makes the window, initialised but not yet shown; null when it cannot be made.
  HWND Create();
  // Makes and shows the window and runs its message loop until it is closed.
  int DoModal();

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  void OnCommand(int id, int notification);
  void OnEditChanged(int id);
  // The message filter: Enter never presses a button or closes the window.
  bool PreTranslateMessage(const MSG& message) const;
  INT_PTR OnControlColour(HDC context, HWND control);
  void PaintMinimised();
  void ApplyDpi(UINT dpi);
  void LoadIcons(UINT dpi);
  void End();
  HWND Item(int id) const { return GetDlgItem(window_, id); }
  // The row whose control of that kind has the id, or -1.
  static int RowOf(const std::array<int, 5>& controls, int id);
  // The rows' values and indicators, the node status and the reception time.
  static bool SpeaksForItself(int id);
  // What screen readers are told of each control.
  void GiveAccessibleTexts();
  std::wstring RowName(int row, int control) const;

  // AccessibleFaces
  std::optional<AccessibleFace> FaceOf(HWND control) const override;

  // MonitorWindow
  void SetControlText(int id, std::string_view text) override;
  std::string ControlText(int id) const override;
  void ShowControl(int id, bool shown) override;
  void EnableControl(int id, bool enabled) override;
  bool IsChecked(int id) const override;
  void SetChecked(int id, bool checked) override;
  void SetListItems(int id, const std::vector<std::string>& items) override;
  int ListSelection(int id) const override;
  void SetListSelection(int id, int index) override;
  void InvalidateControl(int id) override;
  bool AssistiveToolsListening() const override;
  void AnnounceChange(int id) override;
  void ShowMessage(std::string_view text) override;
  std::optional<std::string> AskSaveFilePath(const monitor::SaveFileRequest& request) override;
  void PostToWindow(monitor::WindowTask task, int32_t value) override;

  HINSTANCE instance_;
  HWND window_ = nullptr;
  std::wstring caption_;
  HICON bigIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  int bigIconSize_ = 0;
  int smallIconSize_ = 0;
  std::array<HBRUSH, 3> brushes_{};  // red, black, grey
  HFONT valueFont_ = nullptr;
  bool fixingEdit_ = false;  // an edit's text is being put right: no second look
  Cp932Encoder encoder_;
  AccessibleTexts accessibleTexts_;
  monitor::MonitorCore core_;
};

}  // namespace pelorin::ui
