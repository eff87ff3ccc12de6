// physics-probe on the sample data's configuration.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tools/physics-probe/physicsprobe.h"

namespace {

TEST(PhysicsProbe, ABoxDroppedInTheSampleLevelRestsOnTheFloorWithinTwoSeconds)
{
    std::string report;
    ASSERT_EQ(PhysicsProbe("config.xml", &report), 0) << report;
    EXPECT_NE(report.find("world 0: "), std::string::npos) << report;
    const size_t rest = report.find("box at rest at y = ");
    ASSERT_NE(rest, std::string::npos) << report;
    float y = 0.0f, above = 0.0f, seconds = 0.0f;
    ASSERT_EQ(std::sscanf(report.c_str() + rest, "box at rest at y = %f (%f above the floor) after %f s", &y,
                          &above, &seconds),
              3)
        << report;
    EXPECT_NEAR(above, 0.25f, 0.03f) << "the box's half size above the floor\n" << report;
    EXPECT_LE(seconds, 2.0f) << report;
}

TEST(PhysicsProbe, AFileWithoutWorldsSaysSo)
{
    std::string report;
    EXPECT_EQ(PhysicsProbe("no-such-config.xml", &report), 2);
    EXPECT_NE(report.find("no world was loaded"), std::string::npos) << report;
}

} // namespace
