#include "quorvane_dlg.h"

#include "control_table.h"
#include "edit_input_rule.h"
#include "dialog_template.h"
#include "program_identity.h"
#include "wide_text.h"
#include "window_dpi.h"
#include "window_fonts.h"

#include <commctrl.h>
#include <dbt.h>

#include <algorithm>
#include <utility>

namespace pelorin::ui {

namespace ids = monitor::ids;

namespace {

constexpr int kApplicationIcon = 128;
constexpr UINT kMarqueeMessage = PBM_SETMARQUEE;

HICON LoadApplicationIcon(HINSTANCE instance, int size) {
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kApplicationIcon), IMAGE_ICON, size, size, 0));
}

}  // namespace

int CQuorvaneDlg::RowOf(const std::array<int, 5>& controls, int id) {
  const auto found = std::find(controls.begin(), controls.end(), id);
  return found == controls.end() ? -1 : static_cast<int>(found - controls.begin());
}

CQuorvaneDlg::CQuorvaneDlg(HINSTANCE instance, const std::string& programPath,
                           std::unique_ptr<monitor::DeviceSource> devices)
    : instance_(instance),
      caption_(Widen(monitor::ApplicationName(programPath))),
      core_(*this, programPath, std::move(devices)) {
  LoadIcons(WindowDpi(nullptr));  // at the system's scale, until the window has its own
}

CQuorvaneDlg::~CQuorvaneDlg() {
  if (window_ != nullptr) End();
  core_.Shutdown();
  for (HBRUSH brush : brushes_) {
    if (brush != nullptr) DeleteObject(brush);
  }
  if (valueFont_ != nullptr) DeleteObject(valueFont_);
  if (bigIcon_ != nullptr) DestroyIcon(bigIcon_);
  if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
}

HWND CQuorvaneDlg::Create() {
  const std::vector<uint32_t> layout = BuildDialogTemplate(DialogFontFace(), 9);
  return CreateDialogIndirectParamW(instance_, reinterpret_cast<LPCDLGTEMPLATEW>(layout.data()), nullptr,
                                    &CQuorvaneDlg::DialogProc, reinterpret_cast<LPARAM>(this));
}

int CQuorvaneDlg::DoModal() {
  if (Create() == nullptr) return -1;
  ShowWindow(window_, SW_SHOW);
  MSG message;
  while (window_ != nullptr && GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (PreTranslateMessage(message)) continue;
    if (window_ != nullptr && IsDialogMessageW(window_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

INT_PTR CALLBACK CQuorvaneDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<CQuorvaneDlg*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    self->window_ = window;
    self->OnInitDialog();
    return TRUE;
  }
  auto* self = reinterpret_cast<CQuorvaneDlg*>(GetWindowLongPtrW(window, DWLP_USER));
  return self != nullptr ? self->OnMessage(message, wParam, lParam) : FALSE;
}

void CQuorvaneDlg::OnInitDialog() {
  FitLabelTexts(window_);
  for (int id : ids::RowValueLabels) KeepOwnFontOnDpiChange(Item(id));
  ApplyDpi(WindowDpi(window_));  // the value font, and the icons for the window
  SendMessageW(Item(ids::Progress), kMarqueeMessage, TRUE, 0);
  brushes_ = {CreateSolidBrush(RGB(monitor::kRedBrush.red, monitor::kRedBrush.green, monitor::kRedBrush.blue)),
              CreateSolidBrush(RGB(monitor::kBlackBrush.red, monitor::kBlackBrush.green, monitor::kBlackBrush.blue)),
              CreateSolidBrush(RGB(monitor::kGreyBrush.red, monitor::kGreyBrush.green, monitor::kGreyBrush.blue))};
  // The edits' own limits count characters; the input rule (OnEditChanged)
  // then counts code page 932 bytes, which are never fewer.
  for (const monitor::ControlEntry& entry : monitor::ControlTable()) {
    if (entry.kind == monitor::ControlKind::LineEdit && entry.textLimit > 0) {
      SendMessageW(Item(entry.id), EM_LIMITTEXT, static_cast<WPARAM>(entry.textLimit), 0);
    }
  }
  GiveAccessibleTexts();
  fixingEdit_ = true;  // the core's own texts need no second look
  core_.OnInitDialog();
  fixingEdit_ = false;
}

INT_PTR CQuorvaneDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      if (!IsIconic(window_)) return FALSE;
      PaintMinimised();
      return TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(bigIcon_);
    case WM_DPICHANGED:
      ApplyDpi(HIWORD(wParam));
      PostMessageW(window_, WM_APP_FIT_LABELS, 0, 0);
      return FALSE;  // the dialog manager lays out the frame and the controls anew
    case WM_APP_FIT_LABELS:
      FitLabelTexts(window_);
      return TRUE;
    case WM_DEVICECHANGE: {
      const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
      const int type = header != nullptr ? static_cast<int>(header->dbch_devicetype) : -1;
      SetWindowLongPtrW(window_, DWLP_MSGRESULT,
                        core_.OnDeviceChange(static_cast<int>(wParam), type));
      return TRUE;
    }
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_CTLCOLORSTATIC:
      return OnControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_APP_REFRESH_ROWS:
      core_.OnWindowTask(monitor::WindowTask::RefreshRows, 0);
      return TRUE;
    case WM_APP_WINDOW_TASK:
      core_.OnWindowTask(static_cast<monitor::WindowTask>(wParam), static_cast<int32_t>(lParam));
      return TRUE;
    case WM_CLOSE:
      End();
      return TRUE;
    default:
      return FALSE;
  }
}

void CQuorvaneDlg::OnCommand(int id, int notification) {
  if (notification == EN_CHANGE) {
    OnEditChanged(id);
    return;
  }
  if (notification != BN_CLICKED) return;
  switch (id) {
    case IDCANCEL:  // Escape, or Close in the system menu
      End();
      break;
    case ids::StartButton:
      core_.OnStartClicked();
      break;
    case ids::LanRadio:
    case ids::UsbRadio:
      core_.OnGatewayChoiceClicked();
      break;
    case ids::BrowseButton:
      core_.OnBrowseClicked();
      break;
    case ids::LoggingCheck:
      core_.OnLoggingClicked();
      break;
    default:
      break;
  }
}

// Whatever came into an edit (typed or pasted) is put right by the core's
// edit rule, which counts code page 932 bytes, before anyone reads it.
void CQuorvaneDlg::OnEditChanged(int id) {
  if (fixingEdit_) return;
  const monitor::ControlEntry* entry = monitor::FindControl(id);
  if (entry == nullptr || entry->kind != monitor::ControlKind::LineEdit) return;
  HWND edit = Item(id);
  DWORD selectionEnd = 0;
  SendMessageW(edit, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&selectionEnd));
  std::wstring wide(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
  wide.resize(static_cast<size_t>(GetWindowTextW(edit, wide.data(), static_cast<int>(wide.size()))));
  const size_t cursorUnits = std::min<size_t>(selectionEnd, wide.size());
  const monitor::EditText changed{Narrow(wide), Narrow(std::wstring_view(wide).substr(0, cursorUnits)).size()};
  const auto kept = monitor::ApplyEditInputRule(changed, monitor::EditLimitsOf(*entry), encoder_);
  if (kept && kept->text != changed.text) {
    fixingEdit_ = true;
    SetWindowTextW(edit, Widen(kept->text).c_str());
    const auto cursor = static_cast<WPARAM>(Widen(std::string_view(kept->text).substr(0, kept->cursor)).size());
    SendMessageW(edit, EM_SETSEL, cursor, static_cast<LPARAM>(cursor));
    fixingEdit_ = false;
  }
  if (const int row = RowOf(ids::RowNameEdits, id); row >= 0) core_.OnRowNameChanged(row);
}

bool CQuorvaneDlg::PreTranslateMessage(const MSG& message) const {
  if (message.message != WM_KEYDOWN || message.wParam != VK_RETURN || window_ == nullptr) return false;
  return message.hwnd == window_ || IsChild(window_, message.hwnd);
}

// The indicators' fill, decided each time one is painted.
INT_PTR CQuorvaneDlg::OnControlColour(HDC context, HWND control) {
  const int row = RowOf(ids::RowIndicators, GetDlgCtrlID(control));
  if (row < 0) return FALSE;
  const auto fill = core_.IndicatorFill(row);
  if (!fill) return FALSE;
  const size_t brush = *fill == monitor::kRedBrush ? 0 : *fill == monitor::kBlackBrush ? 1 : 2;
  SetBkColor(context, RGB(fill->red, fill->green, fill->blue));
  return reinterpret_cast<INT_PTR>(brushes_[brush]);
}

void CQuorvaneDlg::PaintMinimised() {
  PAINTSTRUCT paint;
  HDC context = BeginPaint(window_, &paint);
  SendMessageW(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
  RECT client;
  GetClientRect(window_, &client);
  const int x = (client.right - client.left - bigIconSize_ + 1) / 2;
  const int y = (client.bottom - client.top - bigIconSize_ + 1) / 2;
  DrawIcon(context, x, y, bigIcon_);
  EndPaint(window_, &paint);
}

// What the window makes itself, at the scale it is drawn at: the value
// labels' font and the icons. The dialog manager scales everything else.
void CQuorvaneDlg::ApplyDpi(UINT dpi) {
  HFONT font = CreateValueLabelFont(dpi);
  for (int id : ids::RowValueLabels) SendMessageW(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  if (valueFont_ != nullptr) DeleteObject(valueFont_);
  valueFont_ = font;
  LoadIcons(dpi);
}

// The application icon in the sizes the system draws at this scale, loaded
// anew when those sizes change, and given to the window once it exists; the
// old ones go once the window holds the new ones.
void CQuorvaneDlg::LoadIcons(UINT dpi) {
  const int big = SystemMetricForDpi(SM_CXICON, dpi);
  const int small = SystemMetricForDpi(SM_CXSMICON, dpi);
  HICON oldBig = nullptr;
  HICON oldSmall = nullptr;
  if (big != bigIconSize_ || small != smallIconSize_) {
    oldBig = std::exchange(bigIcon_, LoadApplicationIcon(instance_, big));
    oldSmall = std::exchange(smallIcon_, LoadApplicationIcon(instance_, small));
    bigIconSize_ = big;
    smallIconSize_ = small;
  }
  if (window_ != nullptr) {
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
  }
  if (oldBig != nullptr) DestroyIcon(oldBig);
  if (oldSmall != nullptr) DestroyIcon(oldSmall);
}

// The window ends: the core stops its threads while every control still
// exists, then the window goes and the message loop with it.
void CQuorvaneDlg::End() {
  core_.Shutdown();
  HWND window = window_;
  window_ = nullptr;
  SetWindowLongPtrW(window, DWLP_USER, 0);
  DestroyWindow(window);
}

}  // namespace pelorin::ui
