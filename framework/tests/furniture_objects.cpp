// The interactive objects on their own, without a physics world: reading
// their elements and their messages, the laser's blink, the switch's toggle
// delay, the reach of teleporters and bumpers, the lift's motion and the
// jump helper's markers.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "framework/bumper.h"
#include "framework/jumphelper.h"
#include "framework/laserbeam.h"
#include "framework/lift.h"
#include "framework/switch.h"
#include "framework/teleporter.h"
#include "framework/tests/frameworktesting.h"

namespace {

/// An element's attribute list as the parser hands it over.
class AttributeList
{
  public:
    AttributeList(std::initializer_list<std::pair<std::string, std::string>> pairs) : m_pairs(pairs)
    {
        for (const auto& [name, value] : m_pairs) {
            m_list.push_back(name.c_str());
            m_list.push_back(value.c_str());
        }
        m_list.push_back(nullptr);
    }
    const char** Get() { return m_list.data(); }

  private:
    std::vector<std::pair<std::string, std::string>> m_pairs;
    std::vector<const char*> m_list;
};

AttributeList Beam(const char* startTime)
{
    return {{"p1x", "0"},  {"p1y", "1"},  {"p1z", "0"},    {"p2x", "4"},     {"p2y", "1"},
            {"p2z", "0"},  {"pw1x", "0"}, {"pw1y", "0"},   {"pw1z", "0"},    {"pw2x", "0"},
            {"pw2y", "0"}, {"pw2z", "0"}, {"timeOn", "2"}, {"timeOff", "1"}, {"startTime", startTime}};
}

AttributeList Lift()
{
    return {{"p1x", "0"},  {"p1y", "0"},  {"p1z", "0"},  {"p2x", "0"},  {"p2y", "4"},  {"p2z", "0"},
            {"pw1x", "0"}, {"pw1y", "0"}, {"pw1z", "0"}, {"pw2x", "0"}, {"pw2y", "0"}, {"pw2z", "0"}};
}

using FurnitureObjects = FrameworkTest;

TEST_F(FurnitureObjects, LaserLightsAfterItsDarkTimeAndGoesDarkAfterItsLitTime)
{
    CLaserBeam beam;
    AttributeList attributes = Beam("0");
    ASSERT_TRUE(beam.OnStart("LaserBeam", attributes.Get()));
    // Quarter seconds add up exactly: lit once more than 1 s has passed,
    // dark once more than 2 s more have.
    const struct
    {
        float time;
        bool lit;
    } timeline[] = {{0.25f, false}, {1.0f, false}, {1.25f, true}, {3.25f, true},
                    {3.5f, false},  {4.5f, false}, {4.75f, true}};
    float time = 0.0f;
    for (const auto& moment : timeline) {
        while (time < moment.time) {
            beam.Update(0.25f);
            time += 0.25f;
        }
        EXPECT_EQ(beam.IsLit(), moment.lit) << moment.time;
    }
    EXPECT_TRUE(beam.OnStart("Door", nullptr)) << "another element is not the beam's";
}

TEST_F(FurnitureObjects, MissingAttributesNameThemselvesAndTheirSection)
{
    CLaserBeam beam;
    AttributeList noStart = {{"p1x", "0"}};
    EXPECT_FALSE(beam.OnStart("LaserBeam", noStart.Get()));
    CSwitch button;
    AttributeList noZ = {{"name", "a"}, {"px", "0"}, {"py", "0"}};
    EXPECT_FALSE(button.OnStart("Switch", noZ.Get()));
    AttributeList noNormal = {{"name", "a"}, {"px", "0"}, {"py", "0"}, {"pz", "0"}};
    EXPECT_FALSE(button.OnStart("Switch", noNormal.Get()));
    AttributeList noName = {{"px", "0"}};
    EXPECT_FALSE(button.OnStart("Switch", noName.Get()));
    CLift lift;
    AttributeList noTop = {{"p1x", "0"}, {"p1y", "0"}, {"p1z", "0"}, {"p2x", "0"}};
    EXPECT_FALSE(lift.OnStart("Lift", noTop.Get()));
    const std::vector<std::string> expected = {
        "'p1y' attribute not found in 'LaserBeam' section.\nPlease update your XML file",
        "'pz' attribute not found in 'Switch' section.\nPlease update your XML file",
        "'nx' attribute not found in 'Switch' section.\nPlease update your XML file",
        "'name' attribute not found in 'Switch' section.\nPlease update your XML file",
        "'p2y' attribute not found in 'Lift' section.\nPlease update your XML file",
    };
    EXPECT_EQ(Boxes(), expected);
}

TEST_F(FurnitureObjects, SwitchIgnoresASecondToggleWithinAQuarterSecond)
{
    CSwitch button;
    AttributeList attributes = {{"name", "LiftSwitch"},
                                {"px", "1"},
                                {"py", "2"},
                                {"pz", "3"},
                                {"nx", "0"},
                                {"ny", "0"},
                                {"nz", "1"},
                                {"stringOn", "start"},
                                {"stringOff", "stop"}};
    ASSERT_TRUE(button.OnStart("Switch", attributes.Get()));
    EXPECT_STREQ(button.GetName(), "LiftSwitch");
    EXPECT_EQ(button.GetState(), 1);
    EXPECT_STREQ(button.GetActionText(), "stop");
    button.Toggle();
    EXPECT_EQ(button.GetState(), 1) << "no time has passed since the start";
    button.Update(0.3f);
    button.Toggle();
    EXPECT_EQ(button.GetState(), 0);
    EXPECT_STREQ(button.GetActionText(), "start");
    button.Update(0.2f);
    button.Toggle();
    EXPECT_EQ(button.GetState(), 0) << "0.2 s after the last toggle";
    button.Update(0.1f);
    button.Toggle();
    EXPECT_EQ(button.GetState(), 1);
    // A pick on the switch is within one unit of it.
    EXPECT_TRUE(button.IsNear({1.0f, 2.0f, 3.99f}));
    EXPECT_FALSE(button.IsNear({1.0f, 2.0f, 4.0f}));
}

TEST_F(FurnitureObjects, TeleportersAndBumpersReachBelowTheirDistance)
{
    CTeleporter teleporter;
    AttributeList points = {{"p1x", "2"}, {"p1y", "0"}, {"p1z", "0"},
                            {"p2x", "9"}, {"p2y", "0"}, {"p2z", "9"}};
    ASSERT_TRUE(teleporter.OnStart("Teleporter", points.Get()));
    EXPECT_FALSE(teleporter.Reaches({3.0f, 0.0f, 0.0f})) << "exactly 1.0 away stays";
    EXPECT_TRUE(teleporter.Reaches({2.99f, 0.0f, 0.0f}));
    CBumper bumper;
    ASSERT_TRUE(bumper.OnStart("Bumper", points.Get()));
    EXPECT_FALSE(bumper.Reaches({2.0f, 2.0f, 0.0f}));
    EXPECT_TRUE(bumper.Reaches({2.0f, 1.99f, 0.0f}));
    EXPECT_FLOAT_EQ(CBumper::Push().x, -6.0f);
    EXPECT_FLOAT_EQ(CBumper::Push().y, 12.0f);
}

TEST_F(FurnitureObjects, TeleporterParticlesSpiralUpAndStartAgain)
{
    CTeleporter teleporter;
    AttributeList points = {{"p1x", "2"}, {"p1y", "1"}, {"p1z", "0"},
                            {"p2x", "9"}, {"p2y", "0"}, {"p2z", "9"}};
    ASSERT_TRUE(teleporter.OnStart("Teleporter", points.Get()));
    teleporter.Update(0.0f);
    for (int32_t i = 0; i < CTeleporter::kParticles; ++i) {
        const V3d& p = teleporter.GetParticle(i);
        EXPECT_NEAR(p.y, 1.0f + 0.04f * float(i), 1e-5f) << i;
        EXPECT_NEAR(std::hypot(p.x - 2.0f, p.z), CTeleporter::kRadius, 1e-5f) << i;
    }
    // The highest one (1.96 up) passes the top in 0.1 s and starts again at the entry.
    teleporter.Update(0.125f);
    EXPECT_FLOAT_EQ(teleporter.GetParticle(CTeleporter::kParticles - 1).y, 1.0f);
}

TEST_F(FurnitureObjects, LiftRisesWaitsAndComesBack)
{
    CLift lift;
    AttributeList attributes = Lift();
    ASSERT_TRUE(lift.OnStart("Lift", attributes.Get()));
    EXPECT_EQ(lift.GetSwitch(), nullptr) << "no switch named";
    V3d direction{};
    // Up at 2 units a second: 4 units take 2 s (20 steps of 0.1 s, one more for rounding).
    int32_t steps = 0;
    while (lift.GetState() == CLift::kMovingUp && steps < 100) {
        lift.GetMoveDirection(&direction);
        EXPECT_FLOAT_EQ(direction.y, 1.0f);
        lift.Update(0.1f);
        ++steps;
    }
    EXPECT_NEAR(steps, 20, 1);
    EXPECT_EQ(lift.GetState(), CLift::kWaitingAtTop);
    EXPECT_FLOAT_EQ(lift.GetTravelled(), 4.0f);
    EXPECT_NEAR(lift.GetPosition().y, 4.0f, 1e-4f);
    lift.GetMoveDirection(&direction);
    EXPECT_FLOAT_EQ(direction.y, 0.0f);
    // Three seconds at the top.
    steps = 0;
    while (lift.GetState() == CLift::kWaitingAtTop && steps < 100) {
        lift.Update(0.1f);
        ++steps;
    }
    EXPECT_NEAR(steps, 30, 1);
    EXPECT_EQ(lift.GetState(), CLift::kMovingDown);
    lift.GetMoveDirection(&direction);
    EXPECT_FLOAT_EQ(direction.y, -1.0f);
    while (lift.GetState() == CLift::kMovingDown && steps < 200) {
        lift.Update(0.1f);
        ++steps;
    }
    EXPECT_EQ(lift.GetState(), CLift::kWaitingAtBottom);
    EXPECT_FLOAT_EQ(lift.GetTravelled(), 0.0f);
    EXPECT_NEAR(lift.GetPosition().y, 0.0f, 1e-4f);
}

TEST_F(FurnitureObjects, JumpHelperMarkersStandUpFromTheirPoints)
{
    CJumpHelper helper;
    AttributeList points = {{"p1x", "0"}, {"p1y", "0"}, {"p1z", "0"},
                            {"p2x", "5"}, {"p2y", "1"}, {"p2z", "0"}};
    ASSERT_TRUE(helper.OnStart("JumpHelper", points.Get()));
    Im3DVertex v[CJumpHelper::kVertices];
    helper.BuildMarkers(v);
    // Base 0, direction y, sides x and z, length 1, half width 0.04: the
    // first quad spans x, the second z.
    const float expected[12][3] = {
        {0.04f, 0, 0}, {-0.04f, 0, 0}, {0.04f, 1, 0}, {-0.04f, 0, 0}, {-0.04f, 1, 0}, {0.04f, 1, 0},
        {0, 0, 0.04f}, {0, 0, -0.04f}, {0, 1, 0.04f}, {0, 0, -0.04f}, {0, 1, -0.04f}, {0, 1, 0.04f},
    };
    for (int32_t i = 0; i < 12; ++i) {
        EXPECT_FLOAT_EQ(v[i].x, expected[i][0]) << i;
        EXPECT_FLOAT_EQ(v[i].y, expected[i][1]) << i;
        EXPECT_FLOAT_EQ(v[i].z, expected[i][2]) << i;
        EXPECT_EQ(v[i].colour, CJumpHelper::kStartColour);
        EXPECT_FLOAT_EQ(v[12 + i].x, expected[i][0] + 5.0f) << i;
        EXPECT_FLOAT_EQ(v[12 + i].y, expected[i][1] + 1.0f) << i;
        EXPECT_EQ(v[12 + i].colour, CJumpHelper::kEndColour);
    }
}

} // namespace
