// CSceneObject: names, loading, placing, scaling and turning the clump's frame.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "framework/sceneobject.h"
#include "framework/tests/physicstesting.h"
#include "graphics/core/frame.h"
#include "graphics/scene/atomic.h"

namespace {

class SceneObjects : public PhysicsWorld
{
  protected:
    void SetUp() override
    {
        PhysicsWorld::SetUp();
        StartWith([](ConfigBuilder&) {});
    }
};

float Length(const V3d& v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

TEST_F(SceneObjects, NamesAreKeptUpTo31Characters)
{
    CSceneObject object;
    EXPECT_STREQ(object.GetName(), "Noname");
    object.SetName("crate");
    EXPECT_STREQ(object.GetName(), "crate");
    object.SetName(nullptr);
    EXPECT_STREQ(object.GetName(), "Noname");
    const std::string longName(40, 'n');
    object.SetName(longName.c_str());
    EXPECT_EQ(std::strlen(object.GetName()), 31u);
}

TEST_F(SceneObjects, LoadFailuresAreReportedWithTheFileName)
{
    const struct
    {
        const char* file;
        const char* message;
    } cases[] = {
        {"models/none.dff", "Can not load clump in file models/none.dff\n please check your data"},
        // A file that opens but holds no clump.
        {"world/level.bsp", "Can not load clump in file world/level.bsp\n please check your data"},
    };
    for (const auto& c : cases) {
        Boxes().clear();
        Framework().halt = false;
        CSceneObject object;
        EXPECT_FALSE(object.LoadClump(c.file));
        ASSERT_EQ(Boxes().size(), 1u) << c.file;
        EXPECT_EQ(Boxes()[0], c.message);
        EXPECT_EQ(object.GetClump(), nullptr);
        EXPECT_EQ(object.GetFrame(), nullptr);
        EXPECT_EQ(object.GetBoundingSphere(), nullptr);
        // Placing an object without clump does nothing.
        object.SetPosition({1.0f, 2.0f, 3.0f});
        object.SetHeading(10.0f);
        object.SetScale(2.0f);
    }
}

TEST_F(SceneObjects, ScaleMultipliesAndHeadingKeepsThePosition)
{
    CSceneObject crate;
    ASSERT_TRUE(crate.LoadClump("world\\CRATE.dff")) << "any separator and case";
    ASSERT_NE(crate.GetFirstAtomic(), nullptr);
    Frame* frame = crate.GetFrame();
    ASSERT_NE(frame, nullptr);
    const Matrix* m = FrameGetMatrix(frame);

    crate.SetScale(1.0f);
    EXPECT_NEAR(Length(m->right), 0.002f, 1e-7f);
    crate.SetScale(490.0f); // 0.98 more
    EXPECT_NEAR(Length(m->up), 0.00196f, 1e-7f);
    EXPECT_FLOAT_EQ(crate.GetScale(), 490.0f);

    // A second crate at the model's own size (500 x 0.002 = 1).
    CSceneObject turned;
    ASSERT_TRUE(turned.LoadClump("world/crate.dff"));
    turned.SetScale(500.0f);
    turned.SetPosition({4.0f, 1.0f, -2.0f});
    turned.SetHeading(90.0f);
    const Matrix* t = FrameGetMatrix(turned.GetFrame());
    EXPECT_FLOAT_EQ(t->pos.x, 4.0f);
    EXPECT_FLOAT_EQ(t->pos.y, 1.0f);
    EXPECT_FLOAT_EQ(t->pos.z, -2.0f);
    // The rotation is replaced and the stored scale applied once: x turns to -z.
    EXPECT_NEAR(t->right.z, -1.0f, 1e-5f);
    EXPECT_NEAR(t->right.x, 0.0f, 1e-5f);
    turned.SetHeading(90.0f);
    EXPECT_NEAR(t->right.z, -1.0f, 1e-5f) << "a second call gives the same turn";
    // The bounding sphere follows the frame: the crate's centre is 0.5 above its origin.
    const Sphere* sphere = turned.GetBoundingSphere();
    ASSERT_NE(sphere, nullptr);
    EXPECT_NEAR(sphere->centre.x, 4.0f, 1e-4f);
    EXPECT_NEAR(sphere->centre.y, 1.5f, 1e-4f);
    EXPECT_GT(sphere->radius, 0.5f);

    EXPECT_TRUE(crate.Unload());
    EXPECT_EQ(crate.GetClump(), nullptr);
}

} // namespace
