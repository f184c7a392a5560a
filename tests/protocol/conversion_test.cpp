#include "channel_types.h"
#include "models.h"

#include <gtest/gtest.h>

#include <string>

namespace pelorin {
namespace {

TEST(ModelName, TableNamesAndFormedNames) {
  const struct {
    ModelIndex model;
    const char* name;
  } cases[] = {{0, "(0)"},        {1, "KT-100"}, {3, "KT-300"}, {7, "(7)"},
               {8, "KT-500"},     {9, "KT-600"}, {12, "(12)"},  {13, "HUB_Q"},
               {14, "HUB-Q300"},  {15, "(EX0)"}, {16, "(16)"},  {-1, "(-1)"},
               {-32, "(-32)"},    {223, "(223)"}};
  for (const auto& c : cases) EXPECT_EQ(ModelName(c.model), c.name) << c.model;
}

TEST(DigitalInputCount, RowsForModelsZeroToNineOnly) {
  const int32_t expected[] = {0, 0, 5, 3, 2, 0, 0, 0, 0, 3};
  for (ModelIndex m = 0; m < 10; ++m) EXPECT_EQ(DigitalInputCount(m), expected[m]) << m;
  for (ModelIndex m : {-32, -1, 10, 15, 223}) EXPECT_EQ(DigitalInputCount(m), 0) << m;
}

TEST(ConvertRawValue, ExactDoublesWithTheTwoDivisors) {
  const struct {
    uint32_t raw;
    double fullScale;
    double value;
  } cases[] = {
      {0x7FFFFF, 10.0, 10.0},
      {0x800000, 10.0, -10.0},
      {0x400000, 10.0, 5.000000596046519},
      {0xC00000, 10.0, -5.0},
      {0xFFFFFF, 10.0, -1.1920928955078125e-06},
      {0, 0.1, 0.0},
      {0, 3276.8, 0.0},
      {0x7FFFFF, 3276.8, 3276.8},
      {0x00FA00, 3276.8, (64000.0 / 8388607.0) * 3276.8},
  };
  for (const auto& c : cases) {
    double value = 123.0;
    ASSERT_TRUE(ConvertRawValue(c.raw, c.fullScale, &value)) << std::hex << c.raw;
    EXPECT_EQ(value, c.value) << std::hex << c.raw;
  }
}

TEST(ConvertRawValue, ValuesBeyond24BitsFailAndLeaveTheOutput) {
  for (uint32_t raw : {0x1000000u, 0xFFFFFFFFu, 0x80000000u}) {
    double value = 42.0;
    EXPECT_FALSE(ConvertRawValue(raw, 10.0, &value));
    EXPECT_EQ(value, 42.0);
  }
}

std::string Shown(ChannelType type, uint32_t raw) {
  const AnalogText text = FormatAnalog(type, raw);
  switch (text.kind) {
    case AnalogText::Kind::WireBreak:
      return std::string(kWireBreakText);
    case AnalogText::Kind::NoValue:
      return "(none)";
    case AnalogText::Kind::Value:
      break;
  }
  return std::string(text.number) + "|" + std::string(text.unit);
}

TEST(FormatAnalog, PrintFormatsUnitsAndWireBreaks) {
  const struct {
    ChannelType type;
    uint32_t raw;
    const char* shown;
  } cases[] = {
      {2, 0x7FFFFF, "10.0000|V"},
      {2, 0x800000, "-10.0000|V"},  // eight characters, not cut
      {2, 0x400000, " 5.0000|V"},
      {2, 0xFFFFFF, "-0.0000|V"},   // the sign of a tiny negative stays
      {0, 0x7FFFFF, "  0.100|V"},
      {1, 0x400000, "0.50000|V"},
      {3, 0xFFFFFF, "-0.0000|V"},
      {4, 0, "  0.000|mA"},
      {5, 0x7FFFFF, " 20.000|mA"},
      {6, 0x00FA00, "  25.00|\u2103"},
      {6, 0x000100, "   0.10|\u2103"},
      {6, 0x7FFFFE, "3276.80|\u2103"},
      {6, 0x800001, "-3276.80|\u2103"},
      {6, 0x7FFFFF, "断線"},
      {6, 0x800000, "断線"},
      {2, 0x1000000, "(none)"},     // beyond 24 bits
      {6, 0xFFFFFFFF, "(none)"},
      {7, 0x000100, "(none)"},      // no such channel type
      {-1, 0x000100, "(none)"},
  };
  for (const auto& c : cases) EXPECT_EQ(Shown(c.type, c.raw), c.shown) << c.type << " " << c.raw;
}

}  // namespace
}  // namespace pelorin
