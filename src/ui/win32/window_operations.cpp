// The monitor core's operations on the window's controls, by id, and its way
// onto the window thread.

#include "quorvane_dlg.h"
#include "wide_text.h"

#include <commdlg.h>

namespace pelorin::ui {

void CQuorvaneDlg::SetControlText(int id, std::string_view text) {
  const bool edit = fixingEdit_;
  fixingEdit_ = true;  // a text the core sets needs no second look
  SetWindowTextW(Item(id), Widen(text).c_str());
  fixingEdit_ = edit;
}

std::string CQuorvaneDlg::ControlText(int id) const {
  HWND control = Item(id);
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return Narrow(text);
}

bool CQuorvaneDlg::AssistiveToolsListening() const {
  return IsWinEventHookInstalled(EVENT_OBJECT_LIVEREGIONCHANGED) != FALSE;
}

void CQuorvaneDlg::AnnounceChange(int id) {
  NotifyWinEvent(EVENT_OBJECT_LIVEREGIONCHANGED, Item(id), OBJID_CLIENT, CHILDID_SELF);
}

void CQuorvaneDlg::ShowControl(int id, bool shown) { ShowWindow(Item(id), shown ? SW_SHOW : SW_HIDE); }

void CQuorvaneDlg::EnableControl(int id, bool enabled) { EnableWindow(Item(id), enabled); }

bool CQuorvaneDlg::IsChecked(int id) const {
  return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CQuorvaneDlg::SetChecked(int id, bool checked) {
  SendMessageW(Item(id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void CQuorvaneDlg::SetListItems(int id, const std::vector<std::string>& items) {
  HWND list = Item(id);
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  for (const std::string& item : items) {
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
  }
}

int CQuorvaneDlg::ListSelection(int id) const {
  const LRESULT selected = SendMessageW(Item(id), CB_GETCURSEL, 0, 0);
  return selected == CB_ERR ? -1 : static_cast<int>(selected);
}

void CQuorvaneDlg::SetListSelection(int id, int index) {
  SendMessageW(Item(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void CQuorvaneDlg::InvalidateControl(int id) { InvalidateRect(Item(id), nullptr, TRUE); }

void CQuorvaneDlg::ShowMessage(std::string_view text) {
  MessageBoxW(window_, Widen(text).c_str(), caption_.c_str(), MB_OK);
}

std::optional<std::string> CQuorvaneDlg::AskSaveFilePath(const monitor::SaveFileRequest& request) {
  std::wstring filter;
  for (const monitor::SaveFileFilter& choice : request.filters) {
    filter += Widen(choice.name) + L'\0' + Widen(choice.pattern) + L'\0';
  }
  filter += L'\0';
  const std::wstring extension = Widen(request.defaultExtension);
  std::wstring path = Widen(request.initialPath);
  path.resize(32768, L'\0');  // the longest path Windows knows
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window_;
  dialog.lpstrFilter = filter.c_str();
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  dialog.lpstrDefExt = extension.c_str();
  dialog.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
  if (!GetSaveFileNameW(&dialog)) return std::nullopt;
  path.resize(wcslen(path.c_str()));
  return Narrow(path);
}

void CQuorvaneDlg::PostToWindow(monitor::WindowTask task, int32_t value) {
  if (task == monitor::WindowTask::RefreshRows) {
    PostMessageW(window_, WM_APP_REFRESH_ROWS, 0, 0);
  } else {
    PostMessageW(window_, WM_APP_WINDOW_TASK, static_cast<WPARAM>(task), static_cast<LPARAM>(value));
  }
}

}  // namespace pelorin::ui
