#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace pelorin {

// A node's model, carried in reports as one byte minus 0x20 (so -32..223).
using ModelIndex = int32_t;

// The display name of a model: the table's name for 0..15, otherwise the
// number in parentheses, e.g. "(16)" or "(-1)".
std::string ModelName(ModelIndex model);

// Digital inputs per model; the table has rows for the models 0..9 only.
inline constexpr std::array<int32_t, 10> DigitalInputCounts = {0, 0, 5, 3, 2, 0, 0, 0, 0, 3};

// The model's digital-input count; models without a row have none.
constexpr int32_t DigitalInputCount(ModelIndex model) {
  return model >= 0 && model < static_cast<ModelIndex>(DigitalInputCounts.size())
             ? DigitalInputCounts[static_cast<size_t>(model)]
             : 0;
}

}  // namespace pelorin
