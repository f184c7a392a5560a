#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace pelorin {

// An analog channel's type, carried in reports as one byte minus 0x20.
using ChannelType = int32_t;

struct ChannelTypeRow {
  double fullScale;
  std::string_view unit;  // UTF-8
  const char* printFormat;
};

inline constexpr std::array<ChannelTypeRow, 7> ChannelTypeTable = {{
    {0.1, "V", "%7.3f"},
    {1.0, "V", "%7.5f"},
    {10.0, "V", "%7.4f"},
    {30.0, "V", "%7.4f"},
    {20.0, "mA", "%7.3f"},
    {20.0, "mA", "%7.3f"},
    {3276.8, "\u2103", "%7.2f"},  // degree Celsius
}};

// The table's row for a type, or null for a type it has no row for.
const ChannelTypeRow* FindChannelType(ChannelType type);

// Converts a 24-bit two's-complement reading to an engineering value: positive
// readings divide by 2^23 - 1 and negative ones by 2^23, so that 0x7FFFFF is
// exactly +fullScale and 0x800000 exactly -fullScale. False (value untouched)
// when the raw value does not fit in 24 bits.
bool ConvertRawValue(uint32_t raw, double fullScale, double* value);

// For temperature channels (type 6) only, these readings mean a broken wire.
constexpr bool IsWireBreak(ChannelType type, uint32_t raw) {
  return type == 6 && (raw == 0x7FFFFFu || raw == 0x800000u);
}

// What one analog reading shows: "断線" for a broken wire, nothing when it
// cannot be converted (a raw value beyond 24 bits or an unknown type), else the
// value printed with the type's format (right-aligned, at least 7 characters,
// never cut) and the type's unit.
struct AnalogText {
  enum class Kind { Value, WireBreak, NoValue };
  Kind kind = Kind::NoValue;
  char number[32] = {};
  std::string_view unit;
};

inline constexpr std::string_view kWireBreakText = "断線";

AnalogText FormatAnalog(ChannelType type, uint32_t raw);

// What a row with an analog reading shows: the value and its unit
// ("  8.2581 V"), "断線", or "err" when it cannot be converted.
std::string AnalogRowText(ChannelType type, uint32_t raw);

}  // namespace pelorin
