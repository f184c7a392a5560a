#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pelorin::ui {

// The monitor window's dialog template, made in memory from the control
// table: the frame of 315 x 302 dialog units with its caption and dialog font,
// and every control with its id, class, style and rectangle. Windows lays it
// out in dialog units of the font itself. The result is DWORD-aligned, ready
// for CreateDialogIndirectParamW.
std::vector<uint32_t> BuildDialogTemplate(const std::wstring& fontFace, int pointSize);

}  // namespace pelorin::ui
