#include "dialog_template.h"

#include "control_table.h"
#include "wide_text.h"

#include <windows.h>
#include <commctrl.h>

#include <cstring>

namespace pelorin::ui {

namespace {

using monitor::ControlEntry;
using monitor::ControlKind;

// Writes the template's fields in order, each item on a DWORD boundary.
class TemplateWriter {
 public:
  void Word(uint16_t value) { Bytes(&value, sizeof value); }
  void Dword(uint32_t value) { Bytes(&value, sizeof value); }
  void Short(int value) { Word(static_cast<uint16_t>(static_cast<int16_t>(value))); }
  void Text(const std::wstring& text) {
    Bytes(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  }
  void AlignToDword() {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
  }
  std::vector<uint32_t> Finish() {
    AlignToDword();
    std::vector<uint32_t> words(bytes_.size() / 4);
    std::memcpy(words.data(), bytes_.data(), bytes_.size());
    return words;
  }

 private:
  void Bytes(const void* data, size_t size) {
    const auto* begin = static_cast<const unsigned char*>(data);
    bytes_.insert(bytes_.end(), begin, begin + size);
  }
  std::vector<unsigned char> bytes_;
};

struct ControlClass {
  const wchar_t* name;
  DWORD style;
};

ControlClass ClassOf(const ControlEntry& entry) {
  const bool right = entry.flags & monitor::kAlignRight;
  switch (entry.kind) {
    case ControlKind::Label:
      return {L"STATIC", static_cast<DWORD>(right ? SS_RIGHT : SS_LEFT)};
    case ControlKind::GroupBox:
      return {L"BUTTON", BS_GROUPBOX};
    case ControlKind::RadioButton:
      return {L"BUTTON", BS_AUTORADIOBUTTON};
    case ControlKind::LineEdit:
      return {L"EDIT", static_cast<DWORD>(ES_LEFT | ES_AUTOHSCROLL | WS_BORDER |
                                          (entry.flags & monitor::kDigitsOnly ? ES_NUMBER : 0))};
    case ControlKind::DropDownList:
      return {L"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL};
    case ControlKind::PushButton:
      return {L"BUTTON", BS_PUSHBUTTON};
    case ControlKind::EtchedLine:
      return {L"STATIC", SS_ETCHEDHORZ};
    case ControlKind::Indicator:
      return {L"STATIC", SS_LEFT};  // with a sunken static edge, below
    case ControlKind::ValueLabel:
      // It shares its place with the row's indicator, which lies above it and
      // which its background must not paint over.
      return {L"STATIC", SS_LEFT | SS_CENTERIMAGE | WS_CLIPSIBLINGS};
    case ControlKind::PathText:
      // The file name at the path's end stays in sight; the middle gives way.
      return {L"STATIC", SS_LEFT | SS_PATHELLIPSIS};
    case ControlKind::CheckBox:
      return {L"BUTTON", BS_AUTOCHECKBOX};
    case ControlKind::ProgressBar:
      return {PROGRESS_CLASSW, PBS_MARQUEE | WS_BORDER};
  }
  return {L"STATIC", SS_LEFT};
}

}  // namespace

std::vector<uint32_t> BuildDialogTemplate(const std::wstring& fontFace, int pointSize) {
  const auto& table = monitor::ControlTable();
  TemplateWriter out;
  out.Word(1);       // dlgVer
  out.Word(0xFFFF);  // signature: an extended template
  out.Dword(0);      // helpID
  out.Dword(WS_EX_APPWINDOW);  // a task-bar button of its own
  out.Dword(DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU |
            WS_MINIMIZEBOX);
  out.Word(static_cast<uint16_t>(table.size()));
  out.Short(0);
  out.Short(0);
  out.Short(monitor::kDialogWidthDlu);
  out.Short(monitor::kDialogHeightDlu);
  out.Word(0);  // no menu
  out.Word(0);  // the dialog class
  out.Text(L"Pelorin");
  out.Word(static_cast<uint16_t>(pointSize));
  out.Word(FW_NORMAL);
  out.Word(DEFAULT_CHARSET << 8);  // not italic; the character set
  out.Text(fontFace);

  for (const ControlEntry& entry : table) {
    out.AlignToDword();
    const ControlClass kind = ClassOf(entry);
    DWORD style = WS_CHILD | kind.style;
    if (!(entry.flags & monitor::kHidden)) style |= WS_VISIBLE;
    if (entry.flags & monitor::kTabStop) style |= WS_TABSTOP;
    // Every control starts a group but the radio button that joins the one
    // before it, so that the arrow keys move between the two radio buttons.
    if (!(entry.kind == ControlKind::RadioButton && !(entry.flags & monitor::kTabStop))) {
      style |= WS_GROUP;
    }
    out.Dword(0);  // helpID
    out.Dword(entry.kind == ControlKind::Indicator ? WS_EX_STATICEDGE : 0);
    out.Dword(style);
    out.Short(entry.x);
    out.Short(entry.y);
    out.Short(entry.width);
    out.Short(entry.height);
    out.Dword(static_cast<uint32_t>(entry.id == monitor::ids::kNone ? -1 : entry.id));
    out.Text(kind.name);
    out.Text(Widen(entry.text));
    out.Word(0);  // no creation data
  }
  return out.Finish();
}

}  // namespace pelorin::ui
