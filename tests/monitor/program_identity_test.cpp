#include "program_identity.h"

#include <gtest/gtest.h>

#include <string>

namespace pelorin::monitor {
namespace {

TEST(VersionText, FormatsTheFourParts) {
  EXPECT_EQ(FormatVersionText(1, 0, 1, 0), std::string("Version 1.01"));
  EXPECT_EQ(FormatVersionText(1, 2, 3, 4), std::string("Version 1.234"));
  EXPECT_EQ(FormatVersionText(2, 0, 10, 0), std::string("Version 2.010"));
  EXPECT_EQ(FormatVersionText(1, 0, 0, 0), std::string("Version 1.00"));
  EXPECT_EQ(ProgramVersionText(), std::string("Version 1.01"));
}

TEST(ApplicationName, IsTheProgramFileNameWithoutExtension) {
  EXPECT_EQ(ApplicationName(std::string("/opt/pelorin-1.0/bin/pelorin")), std::string("pelorin"));
  EXPECT_EQ(ApplicationName(std::string("/usr/local/bin/monitor.exe")), std::string("monitor"));
}

}  // namespace
}  // namespace pelorin::monitor
