// What screen readers are told of the dialog's controls. The rows' values
// and indicators, the node status and the reception time answer for
// themselves, from what they show at the time of asking; every other control
// takes its name from the control table.

#include "quorvane_dlg.h"

#include "control_table.h"
#include "wide_text.h"

#include <oleacc.h>

namespace pelorin::ui {

namespace ids = monitor::ids;

namespace {

std::wstring TableName(int id) {
  const monitor::ControlEntry* entry = monitor::FindControl(id);
  return entry != nullptr ? Widen(entry->accessibleName) : std::wstring();
}

}  // namespace

bool CQuorvaneDlg::SpeaksForItself(int id) {
  return RowOf(ids::RowValueLabels, id) >= 0 || RowOf(ids::RowIndicators, id) >= 0 || id == ids::NodeStatus ||
         id == ids::ReceiveTime;
}

void CQuorvaneDlg::GiveAccessibleTexts() {
  for (const monitor::ControlEntry& entry : monitor::ControlTable()) {
    HWND control = Item(entry.id);
    if (control == nullptr) continue;
    if (SpeaksForItself(entry.id)) {
      SpeakForItself(control, *this);
    } else if (!entry.accessibleName.empty()) {
      accessibleTexts_.SetName(control, entry.accessibleName);
    }
  }
  // The rows' changes are announced (AnnounceChange) on whichever shows.
  for (size_t row = 0; row < ids::RowValueLabels.size(); ++row) {
    accessibleTexts_.MarkPoliteLiveRegion(Item(ids::RowValueLabels[row]));
    accessibleTexts_.MarkPoliteLiveRegion(Item(ids::RowIndicators[row]));
  }
}

// The name the user gave the row, or the control's own while there is none.
std::wstring CQuorvaneDlg::RowName(int row, int control) const {
  const std::string typed = monitor::TrimBlanks(ControlText(ids::RowNameEdits[static_cast<size_t>(row)]));
  return typed.empty() ? TableName(control) : Widen(typed);
}

std::optional<AccessibleFace> CQuorvaneDlg::FaceOf(HWND control) const {
  const int id = GetDlgCtrlID(control);
  if (const int row = RowOf(ids::RowValueLabels, id); row >= 0) {
    return AccessibleFace{RowName(row, id), Widen(ControlText(id)), ROLE_SYSTEM_STATICTEXT};
  }
  if (const int row = RowOf(ids::RowIndicators, id); row >= 0) {
    return AccessibleFace{RowName(row, id), Widen(core_.IndicatorState(row)), ROLE_SYSTEM_GRAPHIC};
  }
  if (id == ids::NodeStatus || id == ids::ReceiveTime) {
    const std::string shown = ControlText(id);
    return AccessibleFace{monitor::TrimBlanks(shown).empty() ? TableName(id) : Widen(shown), std::nullopt,
                          ROLE_SYSTEM_STATICTEXT};
  }
  return std::nullopt;
}

}  // namespace pelorin::ui
