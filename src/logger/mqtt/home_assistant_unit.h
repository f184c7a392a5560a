#pragma once

#include <string_view>

namespace pelorin::mqtt {

// Home Assistant spells degrees Celsius as two characters, the CSV as one.
inline constexpr std::string_view kCelsius = "\u00B0C";

// A channel type's unit as Home Assistant expects it: V, mA or °C.
constexpr std::string_view HomeAssistantUnit(std::string_view unit) {
  return unit == "\u2103" ? kCelsius : unit;
}

}  // namespace pelorin::mqtt
