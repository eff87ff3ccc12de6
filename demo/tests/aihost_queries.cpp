// The AI's world queries over worlds built in code: walls of two triangles
// across the x axis, one world each.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "demo/aiworldqueries.h"
#include "graphics/core/tests/enginetesting.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/material.h"
#include "graphics/scene/scenelibrary.h"
#include "graphics/scene/world.h"
#include "tools/worldbuild/worldbuild.h"

namespace {

class AiWorldQueries : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(EngineTestInit() && WorldLibraryAttach() && CollisionPluginAttach() && EngineTestOpen() &&
                    EngineStart());
        material_ = MaterialCreate();
    }

    void TearDown() override
    {
        ClearAiCollisionWorlds();
        for (World* world : worlds_)
            WorldDestroy(world);
        MaterialRelease(material_);
        EngineTestShutdown();
    }

    /// A world holding a 10 x 10 wall across the x axis at `x`, leaning by
    /// `lean` in x per unit of y; its triangles face the origin.
    World* Wall(float x, float lean = 0.0f)
    {
        WorldSoup soup;
        soup.positions = {{x - 5.0f * lean, -5.0f, -5.0f},
                          {x + 5.0f * lean, 5.0f, -5.0f},
                          {x + 5.0f * lean, 5.0f, 5.0f},
                          {x - 5.0f * lean, -5.0f, 5.0f}};
        soup.triangles = {{{0, 2, 1}, 0}, {{0, 3, 2}, 0}};
        soup.materials = {material_};
        WorldBuildLimits limits;
        limits.collisionLeaf = 4;
        World* world = WorldBuild(soup, limits);
        EXPECT_NE(world, nullptr);
        worlds_.push_back(world);
        return world;
    }

    Material* material_ = nullptr;
    std::vector<World*> worlds_;
};

constexpr float kOrigin[3] = {0.0f, 0.0f, 0.0f};

TEST_F(AiWorldQueries, WithoutWorldsRaysAreUnavailableAndWaysFree)
{
    const float to[3] = {4.0f, 0.0f, 0.0f};
    float normal[3] = {7.0f, 7.0f, 7.0f};
    EXPECT_EQ(WorldsRayCast(kOrigin, to, nullptr, 1, 8.0f, normal), -1.0f);
    EXPECT_EQ(normal[0], 7.0f) << "the normal is left alone";
    EXPECT_EQ(WorldsSegmentClear(kOrigin, to, nullptr, 1), 1);
    EXPECT_EQ(WorldsCanGo(kOrigin, to, 0.5f, nullptr, 1), 1);
}

TEST_F(AiWorldQueries, TheListTakesAtMostFiveWorlds)
{
    World* wall = Wall(2.0f);
    World* six[6] = {wall, wall, wall, wall, wall, wall};
    EXPECT_EQ(SetAiCollisionWorlds(six, 6), 0);
    const float to[3] = {4.0f, 0.0f, 0.0f};
    EXPECT_EQ(WorldsSegmentClear(kOrigin, to, nullptr, 1), 1) << "a refused list leaves the previous one";
    EXPECT_EQ(SetAiCollisionWorlds(six, 5), 1);
    EXPECT_EQ(WorldsSegmentClear(kOrigin, to, nullptr, 1), 0);
    EXPECT_EQ(SetAiCollisionWorlds(six, -1), 0);
    ClearAiCollisionWorlds();
    EXPECT_EQ(WorldsSegmentClear(kOrigin, to, nullptr, 1), 1);
}

TEST_F(AiWorldQueries, RayAnswersTheNearestHitOfAllWorlds)
{
    // The far wall comes first in the list; the near one (a quarter of the
    // way) leans, so the normal tells which answered.
    World* worlds[2] = {Wall(3.0f), Wall(1.0f, 0.5f)};
    ASSERT_EQ(SetAiCollisionWorlds(worlds, 2), 1);
    const float to[3] = {4.0f, 0.0f, 0.0f};
    float normal[3] = {};
    EXPECT_NEAR(WorldsRayCast(kOrigin, to, nullptr, 1, 8.0f, normal), 0.25f * 8.0f, 1e-5f);
    EXPECT_NEAR(normal[0], -2.0f / std::sqrt(5.0f), 1e-5f);
    EXPECT_NEAR(normal[1], 1.0f / std::sqrt(5.0f), 1e-5f);
    // Reversed, the near world's hit still answers.
    World* reversed[2] = {worlds[1], worlds[0]};
    ASSERT_EQ(SetAiCollisionWorlds(reversed, 2), 1);
    EXPECT_NEAR(WorldsRayCast(kOrigin, to, nullptr, 1, 8.0f, normal), 2.0f, 1e-5f);

    // Nothing on the way: the length and a zero normal.
    const float shortOf[3] = {0.5f, 0.0f, 0.0f};
    EXPECT_EQ(WorldsRayCast(kOrigin, shortOf, nullptr, 1, 3.0f, normal), 3.0f);
    EXPECT_EQ(normal[0], 0.0f);
    // No length: 0 and a zero normal without a query.
    normal[0] = 5.0f;
    EXPECT_EQ(WorldsRayCast(to, to, nullptr, 1, 3.0f, normal), 0.0f);
    EXPECT_EQ(normal[0], 0.0f);
}

TEST_F(AiWorldQueries, SegmentIsBlockedByAnyWorld)
{
    World* worlds[2] = {Wall(10.0f), Wall(2.0f)};
    ASSERT_EQ(SetAiCollisionWorlds(worlds, 2), 1);
    const float through[3] = {4.0f, 0.0f, 0.0f}, before[3] = {1.5f, 0.0f, 0.0f};
    EXPECT_EQ(WorldsSegmentClear(kOrigin, through, nullptr, 2), 0);
    EXPECT_EQ(WorldsSegmentClear(kOrigin, before, nullptr, 2), 1);
    EXPECT_EQ(WorldsSegmentClear(through, through, nullptr, 2), 1);
}

TEST_F(AiWorldQueries, CanGoTestsSpheresEveryRadiusBeforeTheEnd)
{
    // Length 2.5, radius 1: spheres at 1 and 2 (the end at 2.5 is not one).
    const float to[3] = {2.5f, 0.0f, 0.0f};
    struct Case
    {
        float wall;
        float radius;
        int free;
    };
    const Case cases[] = {
        {2.9f, 1.0f, 0},  // the sphere at 2 reaches 3
        {3.1f, 1.0f, 1},  // out of its reach
        {3.4f, 1.0f, 1},  // a sphere at the end would touch it
        {2.4f, 0.0f, 0},  // radius 0: the segment test
        {2.6f, 0.0f, 1},  //
        {2.4f, -1.0f, 0}, // a negative radius is 0
    };
    for (const Case& c : cases) {
        World* world = Wall(c.wall);
        ASSERT_EQ(SetAiCollisionWorlds(&world, 1), 1);
        EXPECT_EQ(WorldsCanGo(kOrigin, to, c.radius, nullptr, 1), c.free)
            << "wall " << c.wall << " radius " << c.radius;
    }
    // A way shorter than the radius places no sphere.
    World* near = Wall(0.5f);
    ASSERT_EQ(SetAiCollisionWorlds(&near, 1), 1);
    const float step[3] = {0.4f, 0.0f, 0.0f};
    EXPECT_EQ(WorldsCanGo(kOrigin, step, 1.0f, nullptr, 1), 1);
    // A tiny radius over a long way still finds the wall, with a bounded count of spheres.
    const float far[3] = {1000.0f, 0.0f, 0.0f};
    EXPECT_EQ(WorldsCanGo(kOrigin, far, 1e-6f, nullptr, 1), 0);
}

} // namespace
