// Lights and FrameLookAt on the engine (device double) with the scene library.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "framework/framelookat.h"
#include "framework/light.h"
#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/core/tests/enginetesting.h"
#include "graphics/scene/light.h"
#include "graphics/scene/scenelibrary.h"

namespace {

class LightTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(EngineTestInit() && WorldLibraryAttach() && EngineTestOpen() && EngineStart());
    }
    void TearDown() override { EngineTestShutdown(); }

    static float Dot(const V3d& a, const V3d& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
};

TEST_F(LightTest, FrameLookAtBuildsAnOrthonormalBasisTowardsTheTarget)
{
    Frame* frame = FrameCreate();
    const struct
    {
        V3d position, target;
    } cases[] = {
        {{0, 0, 0}, {0, 0, 5}},
        {{1, 2, 3}, {-4, 0, 7}},
        {{0, 0, 0}, {0, 10, 0}}, // straight up: no horizontal right vector
        {{-174.0173f, 21.1665f, 247.2818f}, {66.6262f, -11.3181f, -8.2992f}},
    };
    for (const auto& c : cases) {
        FrameLookAt(frame, &c.position, &c.target);
        const Matrix* m = FrameGetMatrix(frame);
        const V3d d = {c.target.x - c.position.x, c.target.y - c.position.y, c.target.z - c.position.z};
        const float length = std::sqrt(Dot(d, d));
        EXPECT_NEAR(Dot(m->at, d) / length, 1.0f, 1e-5f);
        EXPECT_NEAR(Dot(m->right, m->right), 1.0f, 1e-5f);
        EXPECT_NEAR(Dot(m->up, m->up), 1.0f, 1e-5f);
        EXPECT_NEAR(Dot(m->right, m->at), 0.0f, 1e-5f);
        EXPECT_NEAR(Dot(m->up, m->at), 0.0f, 1e-5f);
        EXPECT_NEAR(m->right.y, 0.0f, 1e-6f) << "right stays horizontal";
        EXPECT_GE(m->up.y, 0.0f);
        EXPECT_EQ(m->pos.x, c.position.x);
        EXPECT_EQ(m->pos.z, c.position.z);
    }
    FrameDestroy(frame);
}

TEST_F(LightTest, TargetOnThePositionKeepsTheOrientation)
{
    CLight light;
    const char* type[] = {"type", "Directional", nullptr};
    ASSERT_TRUE(light.OnStart("Light", type));
    const char* from[] = {"x", "0", "y", "0", "z", "0", nullptr};
    const char* to[] = {"x", "0", "y", "0", "z", "-1", nullptr};
    ASSERT_TRUE(light.OnStart("Position", from));
    ASSERT_TRUE(light.OnStart("Target", to));
    const Matrix before = *FrameGetMatrix(light.GetFrame());
    const char* moved[] = {"x", "3", "y", "4", "z", "5", nullptr};
    ASSERT_TRUE(light.OnStart("Position", moved));
    ASSERT_TRUE(light.OnStart("Target", moved));
    const Matrix* after = FrameGetMatrix(light.GetFrame());
    EXPECT_EQ(after->at.z, before.at.z);
    EXPECT_EQ(after->right.x, before.right.x);
    EXPECT_EQ(after->pos.x, 3.0f);
    EXPECT_EQ(after->pos.z, 5.0f);
    EXPECT_EQ(LightGetFrame(light.GetLight()), light.GetFrame());
}

TEST_F(LightTest, SectionElements)
{
    CLight ambient;
    const char* type[] = {"type", "Ambient", nullptr};
    EXPECT_TRUE(ambient.OnStart("Light", type));
    const char* colour[] = {"r", "0.2", "g", "0.4", "b", "0.6", nullptr};
    EXPECT_TRUE(ambient.OnStart("Color", colour));
    EXPECT_EQ(LightGetType(ambient.GetLight()), kLightAmbient);
    EXPECT_EQ(ambient.GetLight()->colour.green, 0.4f);
    EXPECT_EQ(ambient.GetLight()->colour.alpha, 1.0f);
    const char* short_[] = {"r", "1", "g", "1", nullptr};
    EXPECT_FALSE(ambient.OnStart("Color", short_));
    EXPECT_EQ(ambient.GetLight()->colour.red, 0.2f) << "a malformed colour changes nothing";
    EXPECT_TRUE(ambient.OnStart("Position", colour)) << "an ambient light has no position";

    CLight unknown;
    const char* spot[] = {"type", "Spot", nullptr};
    EXPECT_TRUE(unknown.OnStart("Light", spot));
    EXPECT_EQ(unknown.GetLight(), nullptr);
    EXPECT_TRUE(unknown.OnStart("Color", colour)) << "nothing read before a known type";
    const float white[4] = {1, 1, 1, 1};
    EXPECT_EQ(unknown.SetColour(white), 0);

    CLight untyped;
    const char* misnamed[] = {"kind", "Ambient", nullptr};
    EXPECT_FALSE(untyped.OnStart("Light", misnamed));
    EXPECT_EQ(untyped.GetLight(), nullptr);
}

TEST_F(LightTest, ColourAlphaNeverReachesTheEngine)
{
    CLight light;
    const V3d origin = {0, 0, 0};
    ASSERT_TRUE(light.Create(CLight::kAmbient, &origin, &origin));
    const float colour[4] = {0.1f, 0.2f, 0.3f, 0.0f};
    EXPECT_EQ(light.SetColour(colour), 1);
    EXPECT_EQ(colour[3], 0.0f) << "the caller's values stay";
    EXPECT_EQ(light.GetColour()[3], 0.0f);
    EXPECT_EQ(light.GetLight()->colour.alpha, 1.0f);
    EXPECT_EQ(light.GetLight()->colour.blue, 0.3f);

    EXPECT_FALSE(light.Create(7, &origin, &origin)) << "unknown kinds make nothing";
    EXPECT_EQ(light.GetLight(), nullptr);
}

TEST_F(LightTest, PerWorldCopyFollowsTheDescription)
{
    CLight description;
    const V3d from = {0, 10, 0}, to = {10, 10, 0};
    ASSERT_TRUE(description.Create(CLight::kDirectional, &from, &to));
    const float colour[4] = {0.5f, 0.25f, 0.125f, 0.0f};
    description.SetColour(colour);
    CLight copy(description);
    ASSERT_NE(copy.GetLight(), nullptr);
    EXPECT_NE(copy.GetLight(), description.GetLight());
    EXPECT_NE(copy.GetFrame(), description.GetFrame());
    EXPECT_EQ(copy.GetLight()->colour.green, 0.25f);
    EXPECT_EQ(copy.GetLight()->colour.alpha, 1.0f);
    EXPECT_NEAR(FrameGetMatrix(copy.GetFrame())->at.x, 1.0f, 1e-6f);
    EXPECT_EQ(copy.Destroy(), 1);
    EXPECT_EQ(copy.GetLight(), nullptr);
    EXPECT_EQ(copy.Destroy(), 1);
}

} // namespace
