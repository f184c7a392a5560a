#pragma once

#include <cstddef>

namespace pelorin {

// Length of the UTF-8 sequence that starts with lead (1 for a stray byte).
inline size_t Utf8SequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

}  // namespace pelorin
