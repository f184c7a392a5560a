#pragma once

#include "control_table.h"
#include "cp932_encoder.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace pelorin::monitor {

// What one of the window's single-line edits may hold.
struct EditLimits {
  int bytes;        // code page 932 bytes at most (a double-byte character counts twice)
  bool digitsOnly;  // nothing but 0-9
  bool noComma;     // no ','
};

// The limits of the control table's edit.
EditLimits EditLimitsOf(const ControlEntry& edit);

// An edit's text in UTF-8 with its cursor as a byte offset into it.
struct EditText {
  std::string text;
  size_t cursor = 0;
};

// The edit's text after a change, taken the way a native single-line edit
// takes what comes in (a typed character, a paste, a drop, an input method's
// text): up to its first line break and without control characters. Only
// characters that code page 932 can hold go in, and with digitsOnly nothing
// but 0-9, and with noComma no comma; what would pass the byte limit is cut from the end of what came
// in, by whole characters. The text before the change met the rule, so
// whatever breaks it came in with the change, which ends at the cursor.
// Nothing when even that does not make the text fit.
std::optional<EditText> ApplyEditInputRule(const EditText& changed, EditLimits limits,
                                           Cp932Encoder& encoder);

}  // namespace pelorin::monitor
