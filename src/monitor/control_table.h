#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pelorin::monitor {

// The monitor window's controls by their numeric ids.
namespace ids {
inline constexpr int kNone = -1;  // separators and the file label
inline constexpr int NodeEdit = 1000;
inline constexpr int StartButton = 1001;
inline constexpr int LanRadio = 1003;
inline constexpr int PortList = 1004;
inline constexpr int UsbRadio = 1005;
inline constexpr int AddressEdit = 1010;
inline constexpr int PortEdit = 1011;
inline constexpr int NodeLabel = 1022;
inline constexpr int GatewayGroup = 1023;
inline constexpr int AddressLabel = 1024;
inline constexpr int PortLabel = 1025;
inline constexpr int LoggingCheck = 1031;
inline constexpr int BrowseButton = 1032;
inline constexpr int VersionText = 1033;
inline constexpr int LogPathText = 1034;
inline constexpr int NodeStatus = 1035;
inline constexpr int Progress = 1036;
inline constexpr int ReceiveTime = 1037;
inline constexpr std::array<int, 5> RowNameEdits = {1006, 1012, 1016, 1020, 1028};
inline constexpr std::array<int, 5> RowIndicators = {1007, 1013, 1017, 1021, 1029};
inline constexpr std::array<int, 5> RowValueLabels = {1008, 1014, 1018, 1026, 1030};
}  // namespace ids

enum class ControlKind {
  Label,
  GroupBox,
  RadioButton,
  LineEdit,
  DropDownList,
  PushButton,
  EtchedLine,
  Indicator,   // a static square with a sunken edge, coloured by a row's state
  ValueLabel,  // left-aligned, vertically centred, in the value-label font
  PathText,    // a file path over the lines its height holds, its end always shown
  CheckBox,
  ProgressBar,
};

enum ControlFlag : uint32_t {
  kHidden = 1u << 0,
  kTabStop = 1u << 1,
  kDigitsOnly = 1u << 2,
  kAlignRight = 1u << 3,
  kNoComma = 1u << 4,  // a field of the log's header, which a comma would split
};

// One control of the window: rectangle in dialog units, the template's text
// (UTF-8), its text limit in code page 932 bytes (0: none) and the name that
// screen readers and other assistive tools know it by. Without a name, a
// control that shows a caption of its own (a label, a button) is known by
// that caption, as it changes.
struct ControlEntry {
  int id;
  ControlKind kind;
  int x, y, width, height;
  const char* text;
  uint32_t flags;
  int textLimit;
  std::string accessibleName;
};

inline constexpr int kDialogWidthDlu = 315;
inline constexpr int kDialogHeightDlu = 302;
inline constexpr int kEditHeightDlu = 14;
inline constexpr std::array<int, 5> kRowTopsDlu = {120, 140, 160, 180, 200};

// Every control, in template order, which is also the tab order.
const std::vector<ControlEntry>& ControlTable();
// The table's entry for the control with this id, or null.
const ControlEntry* FindControl(int id);

}  // namespace pelorin::monitor
