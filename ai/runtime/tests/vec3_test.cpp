#include "ai/runtime/fixed_list.h"
#include "ai/runtime/host_queries.h"
#include "ai/runtime/runtime.h"
#include "ai/runtime/vec3.h"
#include "ai/testhost/testhost.h"

#include <gtest/gtest.h>

#include <cmath>

namespace Zelk {
namespace {

TEST(Vec3Test, ArithmeticAndProducts)
{
    CVec3 a(1, 2, 3), b(4, -5, 6);
    EXPECT_EQ(a + b, CVec3(5, -3, 9));
    EXPECT_EQ(a - b, CVec3(-3, 7, -3));
    EXPECT_EQ(2.0f * a, CVec3(2, 4, 6));
    EXPECT_EQ(a * 2.0f, CVec3(2, 4, 6));
    EXPECT_EQ(CVec3(2, 4, 8) / 2.0f, CVec3(1, 2, 4));
    EXPECT_FLOAT_EQ(a.Dot(b), 4 - 10 + 18);
    EXPECT_EQ(CVec3::kUnitX.Cross(CVec3::kUnitY), CVec3::kUnitZ);
    EXPECT_FLOAT_EQ(a.SquaredLength(), 14);
    EXPECT_FLOAT_EQ(a.SquaredLengthXZ(), 10);
    EXPECT_FLOAT_EQ(CVec3::SquaredDistance(a, b), 9 + 49 + 9);
}

TEST(Vec3Test, NormalisingTheZeroVectorGivesZero)
{
    CVec3 n = CVec3(0, 0, 0).GetNormalized();
    EXPECT_EQ(n, CVec3(0, 0, 0));
    CVec3 m = CVec3(3, 0, 4).GetNormalized();
    EXPECT_FLOAT_EQ(m.x, 0.6f);
    EXPECT_FLOAT_EQ(m.z, 0.8f);
    EXPECT_EQ(DirectionToAngles(CVec3(0, 0, 0)), CVec3(0, 0, 0));
}

TEST(AnglesTest, NormalizeAngle180FoldsOnce)
{
    const float cases[][2] = {{190, -170}, {-190, 170}, {180, 180}, {-180, -180},
                              {0, 0},      {359, -1},   {-359, 1}};
    for (const auto& c : cases) {
        EXPECT_FLOAT_EQ(NormalizeAngle180(c[0]), c[1]) << c[0];
    }
}

struct DirectionCase
{
    CVec3 direction;
    float pitch;
    float heading;
};

TEST(AnglesTest, HeadingZeroAlongPlusZAndNinetyAlongPlusX)
{
    const DirectionCase cases[] = {
        {CVec3(0, 0, 1), 0, 0},    {CVec3(1, 0, 0), 0, 90},    {CVec3(0, 0, -1), 0, 180},
        {CVec3(-1, 0, 0), 0, -90}, {CVec3(-1, 0, -1), 0, 225}, {CVec3(1, 0, 1), 0, 45},
        {CVec3(0, 1, 0), 90, 0},   {CVec3(0, -2, 2), -45, 0},  {CVec3(0, 0, 5), 0, 0},
    };
    for (const DirectionCase& c : cases) {
        CVec3 angles = DirectionToAngles(c.direction);
        EXPECT_NEAR(angles.x, c.pitch, 1e-4) << c.direction.x << "," << c.direction.y << "," << c.direction.z;
        EXPECT_NEAR(angles.y, c.heading, 1e-4)
            << c.direction.x << "," << c.direction.y << "," << c.direction.z;
        EXPECT_EQ(angles.z, 0.0f);
        // And back: the unit direction of those angles.
        CVec3 back = AnglesToDirection(angles);
        CVec3 unit = c.direction.GetNormalized();
        EXPECT_NEAR(back.x, unit.x, 1e-5);
        EXPECT_NEAR(back.y, unit.y, 1e-5);
        EXPECT_NEAR(back.z, unit.z, 1e-5);
    }
}

TEST(AnglesTest, RotateDirectionKeepsPitchAndWrapsHeading)
{
    CVec3 d = RotateDirectionY(AnglesToDirection(CVec3(30, 170, 0)), 20 * kDegToRad);
    CVec3 angles = DirectionToAngles(d);
    EXPECT_NEAR(angles.x, 30, 1e-3);
    EXPECT_NEAR(NormalizeAngle180(angles.y), -170, 1e-3); // 190 folded
    EXPECT_NEAR(d.SquaredLength(), 1.0f, 1e-5);
}

TEST(VisionConeTest, HalfAnglesRangesAndTargetsBehind)
{
    CVec3 eye(0, 0, 0), view(0, 0, 1);
    EXPECT_TRUE(IsInVisionCone(CVec3(0, 0, 10), eye, view, 10, -1));
    EXPECT_TRUE(IsInVisionCone(CVec3(0, 0, 10), eye, view, 10, 10)); // exactly at the range
    EXPECT_FALSE(IsInVisionCone(CVec3(0, 0, 10), eye, view, 10, 9.99f));
    EXPECT_TRUE(IsInVisionCone(CVec3(1, 0, 10), eye, view, 10, -1));
    EXPECT_FALSE(IsInVisionCone(CVec3(5, 0, 10), eye, view, 10, -1));
    // Half angle 100: behind the eye's plane within 10 degrees of it.
    float s = std::sin(5 * kDegToRad), c = std::cos(5 * kDegToRad);
    EXPECT_TRUE(IsInVisionCone(CVec3(c, 0, -s), eye, view, 100, -1));
    EXPECT_FALSE(IsInVisionCone(CVec3(0, 0, -1), eye, view, 100, -1));
    EXPECT_FALSE(IsInVisionCone(CVec3(0, 0, -1), eye, view, 60, -1));
    EXPECT_TRUE(IsInVisionCone(CVec3(0, 0, -1), eye, view, 180, -1));
}

TEST(FixedListTest, FullListRefusesAndFreedNodesAreReusedLastFirst)
{
    int items[4] = {0, 1, 2, 3};
    CFixedList<int> list(3);
    auto a = list.Insert(&items[0]);
    auto b = list.Insert(&items[1]);
    auto c = list.Insert(&items[2], a.GetNode()); // before the head: becomes the head
    EXPECT_TRUE(list.IsFull());
    EXPECT_FALSE(list.Insert(&items[3]).IsValid());
    EXPECT_EQ(list.GetCount(), 3u);
    EXPECT_EQ(list.Begin().Item(), &items[2]);

    list.Unlink(a.GetNode());
    list.Unlink(b.GetNode());
    auto d = list.Insert(&items[3]);
    EXPECT_EQ(d.GetNode(), b.GetNode()); // the last freed node first
    EXPECT_EQ(list.IndexOf(d.GetNode()), 1);
    EXPECT_EQ(list.ItemAt(1), &items[3]);
    EXPECT_EQ(list.ItemAt(0), nullptr);
    EXPECT_EQ(list.NodeAt(3), nullptr);
    int order[2], n = 0;
    for (auto it = list.Begin(); it != list.End(); ++it) {
        order[n++] = *it.Item();
    }
    EXPECT_EQ(n, 2);
    EXPECT_EQ(order[0], 2);
    EXPECT_EQ(order[1], 3);
    (void)c;
}

class HostQueryTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        AiHostInterface block;
        m_host.Fill(block);
        ASSERT_EQ(AiEngineInitialize(&block), 1);
        m_host.SetGround(0.0f);
        m_host.AddBox(CVec3(4, 0, -1), CVec3(5, 3, 1)); // a wall across +x at x 4..5
    }
    void TearDown() override { AiEngineTerminate(); }
    CTestHost m_host;
};

TEST_F(HostQueryTest, RayCastFractionsAndNormals)
{
    CHitRecord hit;
    EXPECT_TRUE(HostRayCast(CVec3(0, 1, 0), CVec3(10, 1, 0), nullptr, 0, &hit));
    EXPECT_FLOAT_EQ(hit.fraction, 0.4f);
    EXPECT_EQ(hit.point, CVec3(4, 1, 0));
    EXPECT_EQ(hit.normal, CVec3(-1, 0, 0));
    EXPECT_FLOAT_EQ(CastRay(CVec3(0, 1, 0), CVec3(1, 0, 0), nullptr, 0, 10), 4.0f);
    EXPECT_FLOAT_EQ(CastRay(CVec3(0, 1, 0), CVec3(0, -1, 0), nullptr, 0, 10), 1.0f); // the ground

    // Nothing hit: the host answers the length, the record says fraction 1 at the end point.
    EXPECT_FALSE(HostRayCast(CVec3(0, 1, 0), CVec3(-10, 1, 0), nullptr, 0, &hit));
    EXPECT_EQ(hit.fraction, 1.0f);
    EXPECT_EQ(hit.point, CVec3(-10, 1, 0));
    EXPECT_EQ(hit.normal, CVec3(0, 0, 0));
    EXPECT_FLOAT_EQ(CastRayDefault(CVec3(0, 1, 0), CVec3(-1, 0, 0), nullptr, 0), 10000.0f);

    // A host without a physics world answers -1: no hit.
    m_host.SetRayCastUnavailable(true);
    EXPECT_FALSE(HostRayCast(CVec3(0, 1, 0), CVec3(10, 1, 0), nullptr, 0, &hit));
    EXPECT_EQ(hit.fraction, 1.0f);
    EXPECT_EQ(hit.point, CVec3(10, 1, 0));
}

TEST_F(HostQueryTest, VisibilityCanGoAndWideRays)
{
    EXPECT_FALSE(IsVisible(CVec3(0, 1, 0), CVec3(10, 1, 0), nullptr, 0));
    EXPECT_TRUE(IsVisible(CVec3(0, 1, 5), CVec3(10, 1, 5), nullptr, 0));
    EXPECT_TRUE(IsVisible(CVec3(0, 4, 0), CVec3(10, 4, 0), nullptr, 0)); // over the wall
    EXPECT_TRUE(CanGo(CVec3(0, 0.5f, 2), CVec3(10, 0.5f, 2), nullptr, 0, 1.0f));
    EXPECT_FALSE(CanGo(CVec3(0, 0.5f, 2), CVec3(10, 0.5f, 2), nullptr, 0, 2.5f)); // radius 1.25 touches

    // Two rays test exactly the two edges: 1.5 either side of z = 2 crosses the wall at z = 0.5.
    EXPECT_FALSE(IsVisibleWide(CVec3(0, 1, 2), CVec3(10, 1, 2), nullptr, 0, 3.0f, 2));
    EXPECT_TRUE(IsVisibleWide(CVec3(0, 1, 2), CVec3(10, 1, 2), nullptr, 0, 1.0f, 2));
    EXPECT_TRUE(IsVisibleWide(CVec3(1, 1, 1), CVec3(1, 1, 1), nullptr, 0, 3.0f, 5));
}

TEST_F(HostQueryTest, DrawingReachesTheHost)
{
    HostDrawLine(CVec3(0, 0, 0), CVec3(1, 2, 3), 255, 0, 10);
    HostDrawPoint(CVec3(4, 5, 6), 1, 2, 3);
    ASSERT_EQ(m_host.GetLines().size(), 1u);
    EXPECT_EQ(m_host.GetLines()[0].q, CVec3(1, 2, 3));
    EXPECT_EQ(m_host.GetLines()[0].red, 255);
    ASSERT_EQ(m_host.GetPoints().size(), 1u);
    EXPECT_EQ(m_host.GetPoints()[0].p, CVec3(4, 5, 6));
}

} // namespace
} // namespace Zelk
