#include "channel_types.h"

#include <cstdio>

namespace pelorin {

const ChannelTypeRow* FindChannelType(ChannelType type) {
  if (type < 0 || type >= static_cast<ChannelType>(ChannelTypeTable.size())) return nullptr;
  return &ChannelTypeTable[static_cast<size_t>(type)];
}

bool ConvertRawValue(uint32_t raw, double fullScale, double* value) {
  if (raw > 0xFFFFFFu) return false;
  if (raw & 0x800000u) {
    const double magnitude = static_cast<double>(0x1000000u - raw);
    *value = 0.0 - (magnitude * 0x1p-23 * fullScale);
  } else {
    *value = (static_cast<double>(raw) / 8388607.0) * fullScale;
  }
  return true;
}

AnalogText FormatAnalog(ChannelType type, uint32_t raw) {
  AnalogText text;
  if (IsWireBreak(type, raw)) {
    text.kind = AnalogText::Kind::WireBreak;
    return text;
  }
  const ChannelTypeRow* row = FindChannelType(type);
  double value = 0.0;
  if (row == nullptr || !ConvertRawValue(raw, row->fullScale, &value)) return text;
  text.kind = AnalogText::Kind::Value;
  std::snprintf(text.number, sizeof text.number, row->printFormat, value);
  text.unit = row->unit;
  return text;
}

std::string AnalogRowText(ChannelType type, uint32_t raw) {
  const AnalogText text = FormatAnalog(type, raw);
  switch (text.kind) {
    case AnalogText::Kind::WireBreak:
      return std::string(kWireBreakText);
    case AnalogText::Kind::NoValue:
      return "err";
    case AnalogText::Kind::Value:
      break;
  }
  return std::string(text.number) + ' ' + std::string(text.unit);
}

}  // namespace pelorin
